#pragma once
// A teletext subtitle page shown as a display layer: each time the page comes with new
// text it is drawn in teletext's own characters and colours (libzvbi's), its boxes only,
// and shown from the presentation time of the packet that completed it until the next.
#include "apps/common/CTeletextPages.h"
#include "decode/CDVBSubtitleLayer.h"
#include "decode/CDVBTeletextReceiver.h"

class CDVBPIDReceiver;

class CTeletextSubtitles
{
public:
    // `page` 100-899; 0: the first page with the subtitle flag to come.
    explicit CTeletextSubtitles(int page) : m_page(page) {}

    // A receiver for the teletext PID; whoever registers it owns it, and removes it before
    // this object goes (and deletes it only after).
    CDVBPIDReceiver* MakeReceiver();
    CDVBSubtitleLayer& GetLayer() { return m_layer; }
    int GetPage() const { return m_page; }
    // PES packets on the PID that were not teletext, or were damaged.
    std::uint64_t GetRefused() const { return m_receiver ? m_receiver->GetRefused() : 0; }

private:
    void OnLines(const CDVBTeletextLine* lines, int count, long long presentationTime);

    CTeletextPages m_pages;
    int m_page;   // the receive thread's
    int m_seen = 0;
    bool m_showing = false;
    CDVBSubtitleLayer m_layer;
    CDVBTeletextReceiver* m_receiver = nullptr;   // the one made, while it is registered
};
