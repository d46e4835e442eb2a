#pragma once

// The C interface of libkvskin.so, the program's skin library.

#ifdef __cplusplus
extern "C" {
#endif

// Attaches a skin file (skin/FORMAT.md): the library copies what it keeps, then
// restyles every window of the running QApplication, present and future. `text` and
// `a`, `b`, `c` are reserved (pass "" and 0). A skin that does not parse, or no data,
// changes nothing. Returns 1 when the skin was applied, 0 when it was refused.
int kvskin_attach_res(const void* data, int length, const char* text, int a, int b, int c);

// Switches the aero (glass) look on (non-zero) or off. It takes effect with the
// attached skin, now or when one is attached. Returns 1.
int kvskin_set_aero(int on);

// Diagnostics: what the last kvskin_attach_res call received.
struct kvskin_attach_record
{
    int calls;          // kvskin_attach_res calls so far
    const void* data;   // address received
    int length;         // length received
    unsigned int crc32; // CRC-32 of the bytes received (0 without data)
    int text_empty;     // the text was null or ""
    int a, b, c;        // the three integers received
    int accepted;       // the skin was applied
};
// Fills *out and returns 1; returns 0 when out is null.
int kvskin_last_attach(struct kvskin_attach_record* out);

#ifdef __cplusplus
}
#endif
