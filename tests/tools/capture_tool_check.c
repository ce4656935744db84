/* SPDX-License-Identifier: MIT */
/* Checks what a kova-capture run left behind: the four PNG files (signature, IHDR geometry and
   depth), the log file, and that the corrected frame is flatter than the raw one where no finger
   lies. Written in C99 and including the public header, so that the header stays C99-clean.

   usage: capture_tool_check OUT_DIR PROGRAMDATA
   Exit status 0 passed, 1 failed, 77 skipped: the raw background has no spread at all, so there is
   no fixed pattern whose removal could be measured. */
#include <math.h>
#include <png.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"

enum { width = 1600, height = 1500, region = 128, inset = 16 };

typedef char check_geometry[(unsigned long)width * height == KOVA_UNIFORMITY_TABLE_ENTRIES ? 1 : -1];

static int failures = 0;

static void fail(const char* format, const char* what)
{
    printf("FAIL: ");
    printf(format, what);
    printf("\n");
    ++failures;
}

static unsigned long be32(const unsigned char* bytes)
{
    return (unsigned long)bytes[0] << 24 | (unsigned long)bytes[1] << 16 | (unsigned long)bytes[2] << 8 | bytes[3];
}

/* The signature and the IHDR chunk, read byte by byte as the format lays them down. */
static int check_header(const char* path, int bit_depth)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[33];
    FILE* file = fopen(path, "rb");
    size_t got;
    if (file == NULL) {
        fail("%s is missing", path);
        return 0;
    }
    got = fread(head, 1, sizeof head, file);
    fclose(file);
    if (got != sizeof head || memcmp(head, signature, 8) != 0) {
        fail("%s has no PNG signature", path);
        return 0;
    }
    if (be32(head + 8) != 13 || memcmp(head + 12, "IHDR", 4) != 0) {
        fail("%s does not start with IHDR", path);
        return 0;
    }
    printf("%s: %lu x %lu, %d bits, colour type %d\n", path, be32(head + 16), be32(head + 20), head[24], head[25]);
    if (be32(head + 16) != width || be32(head + 20) != height || head[24] != bit_depth || head[25] != 0) {
        fail(bit_depth == 16 ? "%s is not 1600 x 1500 16-bit grey" : "%s is not 1600 x 1500 8-bit grey", path);
        return 0;
    }
    return 1;
}

/* Decodes a grey image of the checked geometry into samples (16-bit files as they are stored). */
static int decode(const char* path, unsigned short* samples, unsigned char* row)
{
    FILE* file = fopen(path, "rb");
    png_structp png;
    png_infop info;
    int depth, y, x;
    if (file == NULL) return 0;
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    info = png != NULL ? png_create_info_struct(png) : NULL;
    if (info == NULL || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, NULL);
        fclose(file);
        return 0;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    depth = png_get_bit_depth(png, info);
    for (y = 0; y < height; ++y) {
        png_read_row(png, row, NULL);
        for (x = 0; x < width; ++x)
            samples[y * width + x] = depth == 16 ? (unsigned short)(row[2 * x] << 8 | row[2 * x + 1]) : row[x];
    }
    png_destroy_read_struct(&png, &info, NULL);
    fclose(file);
    return 1;
}

/* Standard deviation of one square region, in grey levels of 0 to 1023. */
static double spread(const unsigned short* samples, int left, int top, double scale)
{
    double sum = 0, squares = 0, n = (double)region * region, mean;
    int x, y;
    for (y = top; y < top + region; ++y)
        for (x = left; x < left + region; ++x) {
            double v = samples[y * width + x] * scale;
            sum += v;
            squares += v * v;
        }
    mean = sum / n;
    return sqrt(squares / n - mean * mean > 0 ? squares / n - mean * mean : 0);
}

static int compare(const unsigned short* raw, const unsigned short* corrected, double* raw_spread,
                   double* corrected_spread)
{
    static const int corners[4][2] = {{inset, inset},
                                      {width - inset - region, inset},
                                      {inset, height - inset - region},
                                      {width - inset - region, height - inset - region}};
    int i, flatter = 0;
    *raw_spread = *corrected_spread = 0;
    for (i = 0; i < 4; ++i) {
        /* raw: 10 bits stored in the top of 16; corrected: 0..1023 mapped onto 0..255 */
        double r = spread(raw, corners[i][0], corners[i][1], 1.0 / 64.0);
        double c = spread(corrected, corners[i][0], corners[i][1], 1023.0 / 255.0);
        printf("corner %d (%d, %d): spread raw %.2f, corrected %.2f grey levels\n", i, corners[i][0], corners[i][1],
               r, c);
        *raw_spread += r / 4;
        *corrected_spread += c / 4;
        flatter += c < r;
    }
    return flatter;
}

int main(int argc, char** argv)
{
    static const char* const eight_bit[3] = {"corrected_frame.png", "gain_table.png", "offset_table.png"};
    char path[4096], raw_path[4096], corrected_path[4096];
    unsigned short *raw, *corrected;
    unsigned char* row;
    double raw_spread, corrected_spread;
    int i, headers_ok = 1, flatter;
    FILE* log;

    if (argc != 3) {
        printf("usage: capture_tool_check OUT_DIR PROGRAMDATA\n");
        return 2;
    }
    snprintf(raw_path, sizeof raw_path, "%s/raw_frame.png", argv[1]);
    headers_ok &= check_header(raw_path, 16);
    for (i = 0; i < 3; ++i) {
        snprintf(path, sizeof path, "%s/%s", argv[1], eight_bit[i]);
        headers_ok &= check_header(path, 8);
    }
    snprintf(path, sizeof path, "%s/Celdra/Nivora SDK/kovavantorquadrelv3.log", argv[2]);
    log = fopen(path, "rb");
    if (log == NULL || fgetc(log) == EOF) fail("no log at %s", path);
    if (log != NULL) fclose(log);
    if (!headers_ok) return 1;

    raw = malloc(sizeof *raw * width * height);
    corrected = malloc(sizeof *corrected * width * height);
    row = malloc(2 * width);
    snprintf(corrected_path, sizeof corrected_path, "%s/corrected_frame.png", argv[1]);
    if (raw == NULL || corrected == NULL || row == NULL) {
        fail("%s", "out of memory");
    } else if (!decode(raw_path, raw, row) || !decode(corrected_path, corrected, row)) {
        fail("%s", "cannot decode the frames");
    } else {
        flatter = compare(raw, corrected, &raw_spread, &corrected_spread);
        printf("background spread: raw %.2f, corrected %.2f grey levels (ratio %.3f); flatter in %d of 4 corners\n",
               raw_spread, corrected_spread, raw_spread > 0 ? corrected_spread / raw_spread : 1.0, flatter);
        /* The tables take out the fixed pattern, so a background corner loses most of its spread;
           a finger reaching into one corner keeps its ridges there. */
        if (raw_spread == 0 && failures == 0) {
            printf("SKIP: the raw frame is perfectly flat; no fixed pattern to measure\n");
            free(raw);
            free(corrected);
            free(row);
            return 77;
        }
        if (flatter < 3 || !(corrected_spread < 0.5 * raw_spread))
            fail("%s", "the corrected frame is not clearly flatter than the raw one");
    }
    free(raw);
    free(corrected);
    free(row);
    return failures == 0 ? 0 : 1;
}
