/* Typing shield: a Skelvane plug-in that keeps the client's typing
 * notifications (SNAC 4/0x14) from reaching the server, so that contacts never
 * see "is typing". Everything else passes untouched, typing notifications from
 * the server included. The number withheld shows in the plug-in's title,
 * which the host asks for at each sign-on. Built from examples/plugin-template. */
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

/* The answer that withholds a frame: L = 1 and a kind the host does nothing
 * with (4), so the frame is dropped and nothing else happens. */
static const uint8_t WITHHOLD[] = {1, 0, 0, 0, 4};

/* The answer to EVENT_INIT: PLUGIN_INFO with the title and the count. */
static uint8_t info[4 + 1 + 4 + 64 + 4];

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

static const uint8_t* introduce(void) {
    char title[64];
    int n = snprintf(title, sizeof title, "Typing shield: %lu withheld", (unsigned long)withheld);
    if (n < 0) {
        n = 0;
    } else if ((size_t)n >= sizeof title) {
        n = (int)sizeof title - 1;
    }
    writeLe32(info, 1 + 4 + (uint32_t)n + 4);
    info[4] = PLUGIN_INFO;
    writeLe32(info + 5, (uint32_t)n);
    memcpy(info + 9, title, (size_t)n);
    writeLe32(info + 9 + n, HOST_API_VERSION);
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
            return introduce();
        case PACKET_TO_SERVER:
            if (isTypingNotification(event + PLUG_EVENT_HEAD_SIZE, l - 2)) {
                withheld++;
                return WITHHOLD;
            }
            return NULL;
        default:
            return NULL;
    }
}
