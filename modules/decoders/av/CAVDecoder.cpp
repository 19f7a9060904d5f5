#include "CAVDecoder.h"

#include "core/CDVBBuffer.h"
#include "decode/CDVBPresentationStatistics.h"
#include "platform/CEvent.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>

namespace {

struct Codec
{
    const char* name;
    AVCodecID id;
    const char* shown;   // for people
};

const Codec kCodecs[] = {
    {"mpeg2video", AV_CODEC_ID_MPEG2VIDEO, "MPEG-2"}, {"h264", AV_CODEC_ID_H264, "H.264"},
    {"hevc", AV_CODEC_ID_HEVC, "HEVC"},               {"mp2", AV_CODEC_ID_MP2, "MPEG audio"},
    {"mp3", AV_CODEC_ID_MP3, "MP3"},                  {"aac", AV_CODEC_ID_AAC, "AAC"},
    {"aac_latm", AV_CODEC_ID_AAC_LATM, "AAC-LATM"},  {"ac3", AV_CODEC_ID_AC3, "AC-3"},
    {"eac3", AV_CODEC_ID_EAC3, "E-AC-3"},
};

constexpr int kBuffers = 64;
constexpr int kBufferSize = 65536;

}  // namespace

int CAVDecoder::CodecIdFor(const CString& codecName)
{
    for (const Codec& codec : kCodecs)
        if (codecName == codec.name)
            return codec.id;
    return AV_CODEC_ID_NONE;
}

CAVDecoder::CAVDecoder(const CString& codecName)
    : CDVBPullReceiver(kBuffers, kBufferSize), m_codecId(CodecIdFor(codecName))
{
    av_log_set_level(AV_LOG_QUIET);   // damaged input is counted in GetErrors, not printed
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(m_codecId));
    if (codec == nullptr)
        return;   // DecodeStream sees no context and only drains
    m_video = codec->type == AVMEDIA_TYPE_VIDEO;
    m_audio = codec->type == AVMEDIA_TYPE_AUDIO;
    m_context = avcodec_alloc_context3(codec);
    // two threads for pictures: a 1080i H.264 frame takes most of a frame's time on one core
    m_context->thread_count = m_video ? 2 : 1;
    m_context->pkt_timebase = AVRational{1, 90000};
    if (avcodec_open2(m_context, codec, nullptr) < 0)
        avcodec_free_context(&m_context);
    m_parser = av_parser_init(m_codecId);
}

CAVDecoder::~CAVDecoder()
{
    StopAndWait();   // the decode thread uses what follows
    av_parser_close(m_parser);
    avcodec_free_context(&m_context);
}

bool CAVDecoder::SetDisplay(CDVBDisplay* display)
{
    m_pictures.SetDisplay(display);
    return m_video;
}

bool CAVDecoder::UnsetDisplay(CDVBDisplay* display)
{
    return m_pictures.UnsetDisplay(display);
}

bool CAVDecoder::SetAudioOutput(CDVBAudioOutput* output)
{
    m_sound.SetOutput(m_audio ? output : nullptr);
    return m_audio;
}

void CAVDecoder::SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics)
{
    m_pictures.SetPresentation(clock, statistics);
    m_sound.SetPresentation(clock, statistics);
}

void CAVDecoder::GetDescription(CString& description)
{
    const char* codec = "";
    for (const Codec& known : kCodecs)
        if (known.id == m_codecId)
            codec = known.shown;
    CString detail;
    if (m_video)
        m_pictures.Describe(detail);
    else
        m_sound.Describe(detail);
    description = codec;
    if (!detail.IsEmpty())
        description += " " + detail;
}

void CAVDecoder::DecodeStream()
{
    std::vector<unsigned char> input(kBufferSize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    AVPacket* packet = av_packet_alloc();
    CEvent* const events[] = {&m_stopEvent, CEvent::FromHandle(m_filledBuffers.GetHasBuffersEvent())};
    for (;;) {
        // a buffer at a time, so that its bytes keep the time stamps of the PES packet
        // they began with; buffers already filled are decoded even after a stop
        if (!GetNextReadBuffer()) {
            if (CEvent::WaitMany(events, 2, ReadWaitMs) == WAIT_OBJECT_0 && !GetNextReadBuffer())
                break;
            if (m_readBuffer == nullptr)
                continue;
        }
        const DWORD n = m_readBuffer->m_used;
        std::memcpy(input.data(), m_readBuffer->m_position, n);
        std::int64_t pts = m_readBuffer->m_timeStampFlags & CDVBBuffer::HasPts ? m_readBuffer->m_pts : AV_NOPTS_VALUE;
        ReleaseReadBuffer();
        if (m_context == nullptr || m_parser == nullptr)
            continue;   // a codec we cannot decode: the data is taken and dropped
        std::memset(input.data() + n, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        for (const unsigned char* data = input.data(); data < input.data() + n;) {
            std::uint8_t* out = nullptr;
            int size = 0;
            const int used = av_parser_parse2(m_parser, m_context, &out, &size, data, int(input.data() + n - data), pts,
                                              AV_NOPTS_VALUE, 0);
            if (used < 0) {
                ++m_errors;
                break;
            }
            data += used;
            pts = AV_NOPTS_VALUE;   // given with the buffer's first byte only
            DecodeParsed(packet, out, size);
        }
    }
    if (m_context && m_parser) {
        // what the parser and then the decoder still hold: the last frame waits for a
        // start code that will not come
        std::uint8_t* out = nullptr;
        int size = 0;
        av_parser_parse2(m_parser, m_context, &out, &size, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        DecodeParsed(packet, out, size);
        Decode(nullptr);
        if (m_video)
            m_pictures.Present(nullptr);
    }
    av_packet_free(&packet);
}

void CAVDecoder::DecodeParsed(AVPacket* packet, std::uint8_t* frame, int size)
{
    if (size <= 0)
        return;
    packet->data = frame;
    packet->size = size;
    packet->pts = m_parser->pts;

    packet->dts = m_parser->dts;
    Decode(packet);
}

void CAVDecoder::Decode(AVPacket* packet)
{
    if (avcodec_send_packet(m_context, packet) < 0) {
        ++m_errors;   // a damaged frame: the next one starts afresh
        return;
    }
    AVFrame* frame = av_frame_alloc();
    while (avcodec_receive_frame(m_context, frame) == 0) {
        ++m_framesDecoded;

        // a picture before the first key frame lacks what it refers to: not shown
        m_keyFrameSeen = m_keyFrameSeen || frame->key_frame;
        if (m_video && m_keyFrameSeen && !(frame->flags & AV_FRAME_FLAG_CORRUPT)) {
            m_pictures.Present(frame);
        } else if (m_audio) {
            m_sound.Present(frame);
        }
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
}
