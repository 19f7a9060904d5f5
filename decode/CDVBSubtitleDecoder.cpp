#include "decode/CDVBSubtitleDecoder.h"

// Out of line, so that its type is the library's and a host's dynamic_cast finds it in a plug-in.
CDVBSubtitleDecoder::~CDVBSubtitleDecoder() = default;
