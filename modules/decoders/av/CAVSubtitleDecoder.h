#pragma once
// Decodes a DVB subtitle component with libavcodec's DVB subtitle decoder, on the receive
// thread (a page is a few segments, a few times a second): each PES packet's segments of
// the track's pages go to the decoder, and each page it completes becomes one cue, its
// regions in one picture, shown on the decoder's layer and handed to the host.
#include "decode/CDVBPESReceiver.h"
#include "decode/CDVBSubtitleDecoder.h"
#include "decode/CDVBSubtitleLayer.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

struct AVCodecContext;
struct AVPacket;
struct AVSubtitle;

class CAVSubtitleDecoder : public CDVBPESReceiver, public CDVBSubtitleDecoder
{
public:
    CAVSubtitleDecoder();
    ~CAVSubtitleDecoder() override;
    CAVSubtitleDecoder(const CAVSubtitleDecoder&) = delete;
    CAVSubtitleDecoder& operator=(const CAVSubtitleDecoder&) = delete;

    void SetPages(int compositionPage, int ancillaryPage) override;
    CDVBSubtitleLayer& GetLayer() override { return m_layer; }
    void SetCueHandler(std::function<void(const CDVBSubtitleCue&)> handler) override;
    std::uint64_t GetErrors() const override { return m_errors + GetRefused(); }

protected:
    bool OnPESPacket(const BYTE* data, DWORD size, long long presentationTime) override;

private:
    void Deliver(const AVSubtitle& subtitle, long long presentationTime);

    AVCodecContext* m_context = nullptr;
    AVPacket* m_packet = nullptr;
    int m_compositionPage;
    int m_ancillaryPage;
    bool m_pageSeen = false;   // the pages asked for have come
    int m_missed = 0;          // packets with only other pages before them
    std::vector<BYTE> m_segments;
    CDVBSubtitleLayer m_layer;
    std::mutex m_handlerLock;
    std::function<void(const CDVBSubtitleCue&)> m_handler;
    std::atomic<std::uint64_t> m_errors{0};
};
