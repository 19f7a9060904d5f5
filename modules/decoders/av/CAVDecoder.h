#pragma once
// Decodes one component with FFmpeg's libavcodec on the pull receiver's decode thread:
// the elementary stream is split into frames by the codec's parser, each frame keeps the
// presentation time of the buffer it began in, and decoded video pictures go to the
// display as three packed 8-bit planes (Y, U, V at 4:2:0) with their 90 kHz time. Audio
// is decoded and timed; it has no output yet.
#include "decode/CDVBPullReceiver.h"
#include "platform/CString.h"

#include <atomic>
#include <mutex>
#include <vector>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;
class CDVBDisplay;

class CAVDecoder : public CDVBPullReceiver
{
public:
    // `codecName` as ffprobe names it ("h264", "mpeg2video", "aac"...).
    explicit CAVDecoder(const CString& codecName);
    ~CAVDecoder() override;

    // The libavcodec decoder for that name, or 0 when there is none.
    static int CodecIdFor(const CString& codecName);

    bool RequiresDisplay() override { return m_video; }
    bool SetDisplay(CDVBDisplay* display) override;
    bool UnsetDisplay(CDVBDisplay* display) override;

    std::uint64_t GetFramesDecoded() const { return m_framesDecoded; }
    std::uint64_t GetErrors() const { return m_errors; }

protected:
    void DecodeStream() override;

private:
    // A frame the parser cut out (none when `size` is 0), with the parser's times.
    void DecodeParsed(AVPacket* packet, std::uint8_t* frame, int size);
    void Decode(AVPacket* packet);
    void Deliver(AVFrame* frame);

    const int m_codecId;
    bool m_video = false;
    bool m_keyFrameSeen = false;   // decode thread only
    std::mutex m_displayLock;   // the display is set from the host's thread
    CDVBDisplay* m_display = nullptr;
    AVCodecContext* m_context = nullptr;
    AVCodecParserContext* m_parser = nullptr;
    SwsContext* m_scaler = nullptr;
    std::vector<unsigned char> m_planes;   // the packed picture handed to the display
    std::atomic<std::uint64_t> m_framesDecoded{0};
    std::atomic<std::uint64_t> m_errors{0};
};
