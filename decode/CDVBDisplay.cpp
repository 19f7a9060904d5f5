#include "decode/CDVBDisplay.h"

void CDVBDisplay::OnFrame(int, int, const unsigned char*, const unsigned char*, const unsigned char*, long long) {}
