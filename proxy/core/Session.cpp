// A session's end of life and its counters' start.
#include "proxy/core/Session.h"

Session::~Session() {
    for (SokHandle& sock : sockets) {
        if (sock != SOK_NO_SOCKET) {
            Sok_close(sock);
        }
    }
}

void Session::resetCounters() {
    Bytes.fill(0);
    Datagramms.fill(0);
    Packets.fill(0);
    Skipped.fill(0);
    Generated.fill(0);
    seqToServer = SEQ_START_TO_SERVER;
    seqToClient = SEQ_START_TO_CLIENT;
}

void Session::takeFigures(const Session& ended) {
    Bytes = ended.Bytes;
    Datagramms = ended.Datagramms;
    Packets = ended.Packets;
    Skipped = ended.Skipped;
    Generated = ended.Generated;
    seqToServer = ended.seqToServer;
    seqToClient = ended.seqToClient;
}
