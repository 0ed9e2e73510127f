/* A minimal Skelvane plug-in: it introduces itself when a user signs on and
 * lets every chat frame pass untouched. Copy this folder to start your own;
 * docs/plugins.md explains every event and answer. Its answer to EVENT_INIT
 * ends at the version, so it serves one session at a time and sees no event
 * of any other; examples/typing-shield shows a plug-in that serves them all. */
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "PluginInterface.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

/* What the host shows beside "Plugin", followed by " (API: 8)". */
static const char TITLE[] = "Plug-in template";

/* The answer to EVENT_INIT. It is ours and must stay valid until the host has
 * read it, which it does before it calls us again. */
static uint8_t info[4 + 1 + 4 + sizeof TITLE - 1 + 4];

/* The host's callback entry, for a plug-in that injects frames or closes the
 * client's chat later (from its own timer or inside an event). */
static HostCallbackFunction host;

static uint32_t readLe32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void writeLe32(uint8_t* p, uint32_t value) {
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

/* The callback address from an EVENT_INIT of L bytes after the length field:
 * the full 64-bit address appended at the end when it is there. Without it,
 * only a 32-bit build may use the 32-bit field, which is the whole address
 * there; a 64-bit build keeps no callback rather than call a cut-off one. */
static HostCallbackFunction hostFromInit(const uint8_t* event, uint32_t l) {
    const uint32_t size = PLUG_HEAD_SIZE + l;
    if (size >= INIT_OFFSET_PROGRAM_DIR + 4) {
        const uint32_t n = readLe32(event + INIT_OFFSET_PROGRAM_DIR);
        if (n <= PLUG_MAX_RECORD_LENGTH && size >= initOffsetFullCallback(n) + 8) {
            const uint8_t* full = event + initOffsetFullCallback(n);
            const uint64_t address = readLe32(full) | (uint64_t)readLe32(full + 4) << 32;
            return (HostCallbackFunction)(uintptr_t)address;
        }
    }
    if (sizeof(HostCallbackFunction) > 4 || size < INIT_OFFSET_CALLBACK + 4) {
        return NULL;
    }
    return (HostCallbackFunction)(uintptr_t)readLe32(event + INIT_OFFSET_CALLBACK);
}

/* PLUGIN_INFO: the title and the interface version this plug-in was built
 * against (the host shows it and checks nothing). */
static const uint8_t* introduce(void) {
    const uint32_t n = (uint32_t)(sizeof TITLE - 1);
    writeLe32(info, 1 + 4 + n + 4);
    info[4] = PLUGIN_INFO;
    writeLe32(info + 5, n);
    memcpy(info + 9, TITLE, n);
    writeLe32(info + 9 + n, HOST_API_VERSION);
    return info;
}

/* The host's one door in: one event record, owned by the host and valid
 * during this call only. Null lets a frame pass; any record withholds it. */
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
            host = hostFromInit(event, l);
            return introduce();
        case PACKET_TO_SERVER:
        case PACKET_TO_CLIENT:
            /* event + 6 holds one whole FLAP frame of l - 2 bytes. */
            return NULL;
        default:
            /* EVENT_CHAT_CONNECTED, EVENT_CHAT_DISCONNECTED, EVENT_FINISH,
             * EVENT_PREFERENCES and codes this plug-in does not know. */
            return NULL;
    }
}
