#include "SampleDecoding.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
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

// Frames are handed to the decoder with every sample zero, so that blocks no coded data reached
// stay so: an HEVC slice of other bytes may end early without an error.
int GetZeroedBuffer(AVCodecContext* context, AVFrame* frame, int flags)
{
    const int got = avcodec_default_get_buffer2(context, frame, flags);
    if (got < 0)
        return got;
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->data[plane] != nullptr; ++plane) {
        const AVBufferRef* buffer = av_frame_get_plane_buffer(frame, plane);
        if (buffer != nullptr && buffer->data != nullptr)
            std::memset(buffer->data, 0, buffer->size);
    }
    return got;
}

// Whether a 16 × 16 block of a frame's luma, with its chroma, is still all zero: never decoded
// (no picture holds zero chroma).
bool HasBlockNeverDecoded(const AVFrame& frame)
{
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (format == nullptr || format->nb_components < 3 || frame.data[2] == nullptr)
        return false;
    const int bytes = (format->comp[0].depth + 7) / 8;
    const int xShift = format->log2_chroma_w, yShift = format->log2_chroma_h;
    const auto zero = [&](int plane, int x0, int y0, int w, int h) {
        for (int y = y0; y < y0 + h; ++y) {
            const std::uint8_t* row = frame.data[plane] + static_cast<std::ptrdiff_t>(y) * frame.linesize[plane] + x0 * bytes;
            for (int i = 0; i < w * bytes; ++i)
                if (row[i] != 0)
                    return false;
        }
        return true;
    };
    for (int y = 0; y + 16 <= frame.height; y += 16)
        for (int x = 0; x + 16 <= frame.width; x += 16)
            if (zero(0, x, y, 16, 16) && zero(1, x >> xShift, y >> yShift, 16 >> xShift, 16 >> yShift) &&
                zero(2, x >> xShift, y >> yShift, 16 >> xShift, 16 >> yShift))
                return true;
    return false;
}

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

SampleDecoding::Check SampleDecoding::Decode(const std::vector<std::vector<unsigned char>>& samples, bool framesLeftOut) const
{
    const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(codec_));
    if (decoder == nullptr)
        return Check::Broken;
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(decoder));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return Check::Broken;
    context->extradata = static_cast<std::uint8_t*>(av_mallocz(configuration_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context->extradata == nullptr)
        return Check::Broken;
    std::memcpy(context->extradata, configuration_.data(), configuration_.size());
    context->extradata_size = static_cast<int>(configuration_.size());
    context->thread_count = 1;
    const bool video = codec_ == AV_CODEC_ID_H264 || codec_ == AV_CODEC_ID_HEVC;
    if (video)
        context->get_buffer2 = GetZeroedBuffer;
    // A packet whose references were left out would be refused whole at the first error; without
    // that, only what its own data breaks shows (as concealment on its frame).
    context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_CAREFUL |
                               (framesLeftOut ? 0 : AV_EF_EXPLODE);
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return Check::Broken;

    bool clean = true;
    std::size_t frames = 0;
    const auto drain = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(context.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return;
            if (got < 0 || frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0 ||
                (video && HasBlockNeverDecoded(*frame))) {
                clean = false;
                return;
            }
            ++frames;
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
            return Check::Broken;
        drain();
        if (!clean)
            return Check::Broken;
    }
    avcodec_send_packet(context.get(), nullptr);
    drain();
    if (!clean)
        return Check::Broken;
    // A video sample the decoder gave no picture for was not decoded at all (a predicted frame
    // without the frames it is predicted from): it proves nothing.
    return video && frames < samples.size() ? Check::Unproven : Check::Clean;
}

}  // namespace quorvex
