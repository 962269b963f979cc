#pragma once
// Stand-in declarations of the Core Text and Core Foundation calls the Mac
// sources use, as the macOS SDK declares them, so that code is compiled here.

typedef const void *CFTypeRef;
typedef const struct __CFArray *CFArrayRef;

extern "C" {
void CFRelease(CFTypeRef cf);
CFArrayRef CTFontManagerCopyAvailableFontFamilyNames(void);
}
