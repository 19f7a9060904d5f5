#include "decode/CDVBDisplayLayer.h"

void CDVBDisplayLayer::DrawIntoFrame(int, int, int, const unsigned char*, const unsigned char*, const unsigned char*,
                                     long long)
{
}
