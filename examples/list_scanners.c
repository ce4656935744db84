/* SPDX-License-Identifier: MIT */
/* Lists the attached scanners with their information and capabilities.
   Build: cc -std=c99 list_scanners.c $(pkg-config --cflags --libs kovavantorquadrelv3) */
#include <stdio.h>
#include <string.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"

/* Text fields carry no terminator when full. */
static void print_field(const char* name, const char* bytes, size_t width)
{
    const char* end = memchr(bytes, '\0', width);
    printf("    %s: %.*s\n", name, (int)(end != NULL ? (size_t)(end - bytes) : width), bytes);
}

int main(void)
{
    KovaDeviceEntry entries[8];
    uint32_t count = 8, i, type;
    KovaStatus status = KovaInitialize_N(NULL, 0, 0);
    if (status != KOVA_OK) {
        fprintf(stderr, "KovaInitialize_N: %lu\n", (unsigned long)status);
        return 1;
    }
    status = KovaGetDeviceList_N(&count, entries);
    if (status != KOVA_OK) count = 0;
    printf("kovavantorquadrelv3 %s: %u scanner(s)\n", KOVA_VERSION_STRING, (unsigned)count);
    for (i = 0; i < count; ++i) {
        char id[257];
        KovaDeviceInfo info;
        uint32_t handle = 0;
        memcpy(id, entries[i].sensor_id, 256);
        id[256] = '\0';
        printf("%s\n", id);
        if (KovaVantorMGGetDeviceInfo(id, NULL, &info) == KOVA_OK) {
            print_field("manufacturer", info.manufacturer, sizeof info.manufacturer);
            print_field("model", info.model, sizeof info.model);
            print_field("serial number", info.serial_number, sizeof info.serial_number);
            print_field("descriptor code", info.descriptor_code, sizeof info.descriptor_code);
        }
        status = KovaOpenDevice(id, &handle);
        if (status != KOVA_OK && status != KOVA_DIRTY_DEVICE) continue;
        for (type = 0; type < 6; ++type) {
            KovaCapabilities caps;
            if (KovaVantorGetCapabilities(handle, type, &caps) == KOVA_OK && caps.word[0] != 0)
                printf("    capture type %u: %u x %u at %u dpi\n", (unsigned)type, (unsigned)caps.word[3],
                       (unsigned)caps.word[4], (unsigned)caps.word[2]);
        }
        KovaCloseDevice_N(handle);
    }
    KovaTerminate();
    return 0;
}
