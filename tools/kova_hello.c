/* Initialises, shows the version answers, lets the stand-in scanner send a log text and a plug
   event, prints the notification and the log file, and terminates. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "vqsim.h"

static void on_notification(int32_t kind, const char* serial_number, int32_t state)
{
    printf("notification: kind %d, serial number %s, %s\n", (int)kind, serial_number,
           state ? "plugged / awake" : "unplugged / asleep");
}

static void show(const char* call, KovaStatus status)
{
    const char* text = kova_status_text(status);
    printf("%-28s -> %u%s%s%s\n", call, (unsigned)status, text ? " (" : "", text ? text : "", text ? ")" : "");
}

int main(void)
{
    const char* folder = getenv("PROGRAMDATA");
    char path[1024];
    FILE* log;
    int c;

    show("KovaGetVersion", KovaGetVersion());
    show("KovaInitialize_N(level 3)", KovaInitialize_N(on_notification, 3, 0));
    show("KovaGetVersion", KovaGetVersion());
    show("KovaGetVerInfo", KovaGetVerInfo());

    vqsim_log_text("stand-in scanner ready");
    vqsim_usb_event("QV3-5A1C0042", 1, 1);
    vqsim_usb_event("QV3-5A1C0042", 0, 1);

    show("KovaTerminate", KovaTerminate());
    show("KovaGetVersion", KovaGetVersion());

    snprintf(path, sizeof path, "%s/Celdra/Nivora SDK/kovavantorquadrelv3.log",
             folder && folder[0] ? folder : "/var/lib");
    printf("\nlog file %s:\n", path);
    log = fopen(path, "rb");
    if (log == NULL) {
        printf("(not found)\n");
        return 1;
    }
    while ((c = fgetc(log)) != EOF)
        if (c != '\r') putchar(c);
    fclose(log);
    return 0;
}
