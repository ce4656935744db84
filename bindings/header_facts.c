/* SPDX-License-Identifier: MIT */
/* Writes what the bindings take from the C header, as the compiler sees it, into their source:
   "python" a module, "csharp" a class. The status texts come from kova_status_text and the record
   sizes from sizeof, so the bindings keep no texts or sizes of their own. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "kova_status.h"

static const struct {
    const char* name;
    size_t size;
} records[] = {{"KovaDeviceEntry", sizeof(KovaDeviceEntry)},
               {"KovaDeviceInfo", sizeof(KovaDeviceInfo)},
               {"KovaCapabilities", sizeof(KovaCapabilities)},
               {"DevUIRecord", sizeof(DevUIRecord)}};

int main(int argc, char** argv)
{
    const int csharp = argc > 1 && strcmp(argv[1], "csharp") == 0;
    unsigned code;
    size_t i;
    if (csharp)
        printf("// Made at build time from kovavantorquadrelv3.h and kova_status.h.\n"
               "namespace Kovavantorquadrelv3\n{\n    internal static class Header\n    {\n"
               "        internal static string StatusText(uint code)\n        {\n            switch (code)\n"
               "            {\n");
    else
        printf("# Made at build time from kovavantorquadrelv3.h and kova_status.h.\nTEXTS = {\n");
    for (code = 9000; code < 9200; ++code) {
        const char* text = kova_status_text(code);
        if (text == NULL) continue;
        printf(csharp ? "                case %u: return \"%s\";\n" : "    %u: \"%s\",\n", code, text);
    }
    printf(csharp ? "                default: return null;\n            }\n        }\n\n"
                    "        internal static int SizeOf(string record)\n        {\n            switch (record)\n"
                    "            {\n"
                  : "}\nSIZES = {\n");
    for (i = 0; i < sizeof records / sizeof records[0]; ++i)
        printf(csharp ? "                case \"%s\": return %u;\n" : "    \"%s\": %u,\n", records[i].name,
               (unsigned)records[i].size);
    printf(csharp ? "                default: return -1;\n            }\n        }\n\n"
                    "        internal const string Version = \"%s\";\n    }\n}\n"
                  : "}\nVERSION = \"%s\"\n", KOVA_VERSION_STRING);
    return 0;
}
