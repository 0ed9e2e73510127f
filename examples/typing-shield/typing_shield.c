/* Typing shield: a Skelvane plug-in that keeps the client's typing
 * notifications (SNAC 4/0x14) from reaching the server, so that contacts never
 * see "is typing". Everything else passes untouched, typing notifications from
 * the server included. The number withheld shows in the plug-in's title,
 * which the host asks for at each sign-on; while it serves several sessions
 * at once, the title shows each session's count too. Built from
 * examples/plugin-template. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "PluginInterface.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#define FLAP_HEAD_SIZE 6
#define SNAC_HEAD_SIZE 10
#define FLAP_MARKER 0x2A
#define FLAP_CHANNEL_SNAC 2
#define SNAC_FAMILY_MESSAGES 0x0004
#define SNAC_TYPING_NOTIFICATION 0x0014

/* Notifications withheld since the program started (the host never unloads
 * its plug-in, so the count outlives each session). */
static uint32_t withheld;

/* The sessions served, each named by the address of its host callback (the
 * host hands a session's own in its init event and names it again in
 * EVENT_SESSION before that session's events), with its own UIN and count.
 * A session beyond MAX_SESSIONS is shielded but not counted on its own. */
#define MAX_SESSIONS 16
struct session {
    int used;
    uint64_t address;
    uint32_t ownUin;
    uint32_t withheld;
};
static struct session sessions[MAX_SESSIONS];
static struct session* current; /* null: the host named one not served */

/* The answer that withholds a frame: L = 1 and a kind the host does nothing
 * with (4), so the frame is dropped and nothing else happens. */
static const uint8_t WITHHOLD[] = {1, 0, 0, 0, 4};

/* The answer to EVENT_INIT: PLUGIN_INFO with the title and the counts, the
 * plug-in's version and the field that says it serves several sessions. */
#define TITLE_SIZE 200
static uint8_t info[4 + 1 + 4 + TITLE_SIZE + 4 + 4];

static uint32_t readLe32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void writeLe32(uint8_t* p, uint32_t value) {
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

static unsigned readBe16(const uint8_t* p) {
    return (unsigned)p[0] << 8 | p[1];
}

static uint64_t readLe64(const uint8_t* p) {
    return (uint64_t)readLe32(p) | (uint64_t)readLe32(p + 4) << 32;
}

/* The address that names a session: the full one on a 64-bit build when
 * the record holds it (`fullAt` inside its l bytes), else the 32-bit field. */
static uint64_t sessionAddress(const uint8_t* event, uint32_t l, uint64_t fullAt) {
    if (sizeof(void*) > 4 && fullAt + 8 <= 4 + (uint64_t)l) {
        return readLe64(event + fullAt);
    }
    return readLe32(event + INIT_OFFSET_CALLBACK);
}

static struct session* findSession(uint64_t address) {
    size_t i;
    for (i = 0; i < MAX_SESSIONS; i++) {
        if (sessions[i].used && sessions[i].address == address) {
            return &sessions[i];
        }
    }
    return NULL;
}

/* EVENT_INIT: the session it starts (afresh, when its address is known)
 * becomes current. Fields that do not fit in l are absent. */
static void startSession(const uint8_t* event, uint32_t l) {
    uint64_t n = 0;
    uint64_t address;
    size_t i;
    current = NULL;
    if (l < INIT_OFFSET_CALLBACK + 4 - PLUG_HEAD_SIZE) {
        return;
    }
    if (l >= INIT_OFFSET_PROGRAM_DIR + 4 - PLUG_HEAD_SIZE) {
        n = readLe32(event + INIT_OFFSET_PROGRAM_DIR);
    }
    address = sessionAddress(event, l, 26 + 2 * n);
    current = findSession(address);
    for (i = 0; current == NULL && i < MAX_SESSIONS; i++) {
        if (!sessions[i].used) {
            current = &sessions[i];
        }
    }
    if (current == NULL) {
        return;
    }
    current->used = 1;
    current->address = address;
    current->withheld = 0;
    current->ownUin = 22 + 2 * n + 4 <= 4 + (uint64_t)l ? readLe32(event + 22 + 2 * n) : 0;
}

/* EVENT_SESSION: the events that follow belong to the session it names. */
static void selectSession(const uint8_t* event, uint32_t l) {
    current = NULL;
    if (l >= SESSION_OFFSET_CALLBACK + 4 - PLUG_HEAD_SIZE) {
        current = findSession(sessionAddress(event, l, SESSION_OFFSET_FULL_CALLBACK));
    }
}

static int sessionsServed(void) {
    int count = 0;
    size_t i;
    for (i = 0; i < MAX_SESSIONS; i++) {
        count += sessions[i].used;
    }
    return count;
}

/* "Typing shield: <count> withheld", and while several sessions are served
 * " (<own UIN>: <count>, ...)" in the order of their slots; cut to fit. */
static const uint8_t* introduce(void) {
    char title[TITLE_SIZE];
    size_t n;
    size_t i;
    const char* separator = " (";
    snprintf(title, sizeof title, "Typing shield: %lu withheld", (unsigned long)withheld);
    n = strlen(title);
    for (i = 0; sessionsServed() > 1 && i < MAX_SESSIONS; i++) {
        if (sessions[i].used) {
            snprintf(title + n, sizeof title - n, "%s%lu: %lu", separator,
                     (unsigned long)sessions[i].ownUin, (unsigned long)sessions[i].withheld);
            n = strlen(title);
            separator = ", ";
        }
    }
    if (sessionsServed() > 1) {
        snprintf(title + n, sizeof title - n, ")");
        n = strlen(title);
    }
    writeLe32(info, 1 + 4 + (uint32_t)n + 4 + 4);
    info[4] = PLUGIN_INFO;
    writeLe32(info + 5, (uint32_t)n);
    memcpy(info + 9, title, n);
    writeLe32(info + 9 + n, HOST_API_VERSION);
    writeLe32(info + 13 + n, INFO_SEVERAL_SESSIONS);
    return info;
}

/* Whether the `size` bytes at `frame` are a SNAC 4/0x14 whose SNAC header lies
 * inside both the record and the FLAP frame's own data length. */
static int isTypingNotification(const uint8_t* frame, uint32_t size) {
    if (size < FLAP_HEAD_SIZE + SNAC_HEAD_SIZE || frame[0] != FLAP_MARKER ||
        frame[1] != FLAP_CHANNEL_SNAC || readBe16(frame + 4) < SNAC_HEAD_SIZE) {
        return 0;
    }
    return readBe16(frame + FLAP_HEAD_SIZE) == SNAC_FAMILY_MESSAGES &&
           readBe16(frame + FLAP_HEAD_SIZE + 2) == SNAC_TYPING_NOTIFICATION;
}

PLUGIN_EXPORT const uint8_t* PLUG_CALL pluginFun(const uint8_t* event) {
    uint32_t l;
    if (event == NULL) {
        return NULL;
    }
    l = readLe32(event);
    if (l < 2 || l >= PLUG_MAX_RECORD_LENGTH || event[4] != PLUGIN_EVENT) {
        return NULL;
    }
    switch (event[5]) {
        case EVENT_INIT:
            startSession(event, l);
            return introduce();
        case EVENT_SESSION:
            selectSession(event, l);
            return NULL;
        case EVENT_FINISH:
            if (current != NULL) {
                current->used = 0;
                current = NULL;
            }
            return NULL;
        case PACKET_TO_SERVER:
            if (isTypingNotification(event + PLUG_EVENT_HEAD_SIZE, l - 2)) {
                withheld++;
                if (current != NULL) {
                    current->withheld++;
                }
                return WITHHOLD;
            }
            return NULL;
        default:
            return NULL;
    }
}
