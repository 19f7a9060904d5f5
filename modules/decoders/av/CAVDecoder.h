#pragma once
// Decodes one component with FFmpeg's libavcodec on the pull receiver's decode thread:
// the elementary stream is split into frames by the codec's parser, each frame keeps the
// presentation time of the buffer it began in; pictures go to the display and sound to the
// audio output, each through its presenter, which times them.
#include "CAVAudioPresenter.h"
#include "CAVVideoPresenter.h"
#include "decode/CDVBMediaDecoder.h"
#include "decode/CDVBPullReceiver.h"
#include "platform/CString.h"

#include <atomic>
#include <vector>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVPacket;
class CDVBDisplay;

class CAVDecoder : public CDVBPullReceiver, public CDVBMediaDecoder
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

    bool IsAudio() const override { return m_audio; }
    bool SetAudioOutput(CDVBAudioOutput* output) override;
    void SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics) override;
    void SetDeinterlacing(bool on) override { m_pictures.SetDeinterlacing(on); }
    void GetDescription(CString& description) override;

    std::uint64_t GetFramesDecoded() const { return m_framesDecoded; }
    std::uint64_t GetErrors() const { return m_errors; }

protected:
    void DecodeStream() override;

private:
    // A frame the parser cut out (none when `size` is 0), with the parser's times.
    void DecodeParsed(AVPacket* packet, std::uint8_t* frame, int size);
    void Decode(AVPacket* packet);

    const int m_codecId;
    bool m_video = false;
    bool m_audio = false;
    bool m_keyFrameSeen = false;   // decode thread only
    AVCodecContext* m_context = nullptr;
    AVCodecParserContext* m_parser = nullptr;
    CAVVideoPresenter m_pictures{m_stopEvent};
    CAVAudioPresenter m_sound{m_stopEvent};
    std::atomic<std::uint64_t> m_framesDecoded{0};
    std::atomic<std::uint64_t> m_errors{0};
};
