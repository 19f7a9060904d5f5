#pragma once
// A section reassembler that hands every complete section to a callback, repeats included,
// as its bytes: long-form sections only when their CRC holds. For those that rewrite or
// forward sections rather than keep a model of them. Not registered with a receiver; the
// owner feeds it the packets of its PID.
#include "si/CDVBSIReceiver.h"

#include <functional>

class CDVBSectionTap : public CDVBSIReceiver
{
public:
    using Callback = std::function<void(const BYTE* section, DWORD length)>;

    explicit CDVBSectionTap(Callback callback) : CDVBSIReceiver(nullptr), m_callback(std::move(callback)) {}
    void OnSectionComplete() override;

private:
    Callback m_callback;
};
