#include "CAVDecoder.h"

#include "core/CDVBBuffer.h"
#include "decode/CDVBDisplay.h"
#include "platform/CEvent.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace {

struct Codec
{
    const char* name;
    AVCodecID id;
};

const Codec kCodecs[] = {
    {"mpeg2video", AV_CODEC_ID_MPEG2VIDEO}, {"h264", AV_CODEC_ID_H264}, {"hevc", AV_CODEC_ID_HEVC},
    {"mp2", AV_CODEC_ID_MP2},               {"mp3", AV_CODEC_ID_MP3},   {"aac", AV_CODEC_ID_AAC},
    {"aac_latm", AV_CODEC_ID_AAC_LATM},     {"ac3", AV_CODEC_ID_AC3},   {"eac3", AV_CODEC_ID_EAC3},
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
    m_context = avcodec_alloc_context3(codec);
    m_context->thread_count = 1;
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
    sws_freeContext(m_scaler);
}

bool CAVDecoder::SetDisplay(CDVBDisplay* display)
{
    std::lock_guard<std::mutex> guard(m_displayLock);
    m_display = display;
    return m_video;
}

bool CAVDecoder::UnsetDisplay(CDVBDisplay* display)
{
    std::lock_guard<std::mutex> guard(m_displayLock);
    if (m_display != display)
        return false;
    m_display = nullptr;
    return true;
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
        if (m_video && m_keyFrameSeen && !(frame->flags & AV_FRAME_FLAG_CORRUPT))
            Deliver(frame);
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
}

void CAVDecoder::Deliver(AVFrame* frame)
{
    std::lock_guard<std::mutex> guard(m_displayLock);
    if (m_display == nullptr || frame->width <= 0 || frame->height <= 0)
        return;
    const int w = frame->width, h = frame->height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    m_scaler = sws_getCachedContext(m_scaler, w, h, AVPixelFormat(frame->format), w, h, AV_PIX_FMT_YUV420P,
                                    SWS_POINT, nullptr, nullptr, nullptr);
    if (m_scaler == nullptr)
        return;
    m_planes.resize(std::size_t(w) * h + 2 * std::size_t(cw) * ch);
    unsigned char* planes[4] = {m_planes.data(), m_planes.data() + w * h, m_planes.data() + w * h + cw * ch, nullptr};
    int strides[4] = {w, cw, cw, 0};
    sws_scale(m_scaler, frame->data, frame->linesize, 0, h, planes, strides);
    const long long time = frame->best_effort_timestamp == AV_NOPTS_VALUE ? -1 : frame->best_effort_timestamp;
    m_display->OnFrame(w, h, planes[0], planes[1], planes[2], time);
}
