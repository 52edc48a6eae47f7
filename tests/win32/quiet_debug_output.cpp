// Linked into every Windows test program: GoogleTest copies each failure to the debugger with
// OutputDebugStringA, and where Wine runs 32-bit programs through qemu that call kills the
// process, so that one failed expectation ends the whole test program. The test programs call
// this silent stand-in through the import slot instead; failures are printed as usual.
extern "C" void __stdcall kavlin_quiet_debug_string(const char *) {}

extern "C" {
void(__stdcall *kavlin_debug_string_import)(const char *) __asm__("__imp__OutputDebugStringA@4") =
    kavlin_quiet_debug_string;
}
