#include "SampleDecoding.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cstring>
#include <memory>
#include <mutex>

namespace quorvex {

namespace {

AVCodecID CodecOf(const std::array<char, 4>& fourCc)
{
    const std::string_view c(fourCc.data(), fourCc.size());
    if (c == "avc1" || c == "avc3")
        return AV_CODEC_ID_H264;
    if (c == "hvc1" || c == "hev1")
        return AV_CODEC_ID_HEVC;
    if (c == "mp4a")
        return AV_CODEC_ID_AAC;
    return AV_CODEC_ID_NONE;
}

struct ContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

SampleDecoding::SampleDecoding(const MovieTrack& track) : configuration_(track.configuration)
{
    const AVCodecID id = CodecOf(track.codec);
    // Without its configuration a stream's samples cannot be told from other bytes.
    if (id != AV_CODEC_ID_NONE && !configuration_.empty() && avcodec_find_decoder(id) != nullptr)
        codec_ = id;
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // errors are what is looked for
}

bool SampleDecoding::DecodesCleanly(const std::vector<std::vector<unsigned char>>& samples) const
{
    const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(codec_));
    if (decoder == nullptr)
        return false;
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(decoder));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return false;
    context->extradata = static_cast<std::uint8_t*>(av_mallocz(configuration_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context->extradata == nullptr)
        return false;
    std::memcpy(context->extradata, configuration_.data(), configuration_.size());
    context->extradata_size = static_cast<int>(configuration_.size());
    context->thread_count = 1;
    context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE | AV_EF_CAREFUL;
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return false;

    bool clean = true;
    const auto drain = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(context.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            if (got < 0 || frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
                clean = false;
                return;
            }
            av_frame_unref(frame.get());
        }
    };
    std::vector<unsigned char> padded;
    for (const std::vector<unsigned char>& sample : samples) {
        padded.assign(sample.begin(), sample.end());
        padded.resize(sample.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet->data = padded.data();
        packet->size = static_cast<int>(sample.size());
        const int sent = avcodec_send_packet(context.get(), packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN))
            return false;
        drain();
        if (!clean)
            return false;
    }
    avcodec_send_packet(context.get(), nullptr);
    drain();
    return clean;
}

}  // namespace quorvex
