// A stand-in libkvskin.so that exports kvskin_attach_res but not kvskin_set_aero, so a
// test can see the binding stop at the second function.
extern "C" __attribute__((visibility("default"))) int kvskin_attach_res(const void*, int,
                                                                        const char*, int, int, int)
{
    return 0;
}
