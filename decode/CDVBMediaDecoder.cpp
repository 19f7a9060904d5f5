#include "decode/CDVBMediaDecoder.h"

// Out of line, so that its type is the library's and a host's dynamic_cast finds it in a plug-in.
CDVBMediaDecoder::~CDVBMediaDecoder() = default;
