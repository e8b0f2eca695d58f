#include "VideoFrame.h"

#include <QIODevice>
#include <QPainter>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <mutex>

namespace quorvex::preview {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr int kMaxPackets = 600;  // packets read before a first picture is given up

int ReadPacket(void* opaque, uint8_t* buffer, int size)
{
    const qint64 n = static_cast<QIODevice*>(opaque)->read(reinterpret_cast<char*>(buffer), size);
    return n > 0 ? static_cast<int>(n) : AVERROR_EOF;
}

int64_t Seek(void* opaque, int64_t offset, int whence)
{
    auto* device = static_cast<QIODevice*>(opaque);
    if (whence & AVSEEK_SIZE)
        return device->size();
    whence &= ~AVSEEK_FORCE;
    const qint64 base = whence == SEEK_CUR ? device->pos() : whence == SEEK_END ? device->size() : 0;
    return device->seek(base + offset) ? device->pos() : -1;
}

// Owns what one decode allocates, and frees it whatever way the decode ends.
struct Decode {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* scaler = nullptr;

    ~Decode()
    {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (format != nullptr)
            avformat_close_input(&format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

QImage Scaled(const AVFrame* frame, QSize fit, SwsContext*& scaler)
{
    const int width = frame->width, height = frame->height;
    if (width <= 0 || height <= 0)
        return {};
    int outWidth = width, outHeight = height;
    if (fit.isValid() && !fit.isEmpty() && (width > fit.width() || height > fit.height())) {
        const double scale = std::min(static_cast<double>(fit.width()) / width, static_cast<double>(fit.height()) / height);
        outWidth = std::max(1, static_cast<int>(width * scale));
        outHeight = std::max(1, static_cast<int>(height * scale));
    }
    scaler = sws_getContext(width, height, static_cast<AVPixelFormat>(frame->format), outWidth, outHeight,
                            AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr);
    if (scaler == nullptr)
        return {};
    QImage image(outWidth, outHeight, QImage::Format_RGB888);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, frame->data, frame->linesize, 0, height, planes, strides);
    return image;
}

}  // namespace

QImage FirstVideoFrame(QIODevice* source, QSize fit)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // damaged files are the rule here
    if (source == nullptr || !source->isReadable() || source->isSequential())
        return {};
    source->seek(0);
    Decode d;
    d.format = avformat_alloc_context();
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (d.format == nullptr || buffer == nullptr) {
        av_free(buffer);
        return {};
    }
    d.io = avio_alloc_context(buffer, kIoBufferBytes, 0, source, ReadPacket, nullptr, Seek);
    if (d.io == nullptr) {
        av_free(buffer);
        return {};
    }
    d.format->pb = d.io;
    d.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    d.format->probesize = 8 << 20;
    d.format->max_analyze_duration = 2 * AV_TIME_BASE;
    if (avformat_open_input(&d.format, nullptr, nullptr, nullptr) < 0) {
        d.format = nullptr;  // freed by the failed open
        return {};
    }
    if (avformat_find_stream_info(d.format, nullptr) < 0)
        return {};
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr)
        return {};
    d.codec = avcodec_alloc_context3(decoder);
    if (d.codec == nullptr ||
        avcodec_parameters_to_context(d.codec, d.format->streams[stream]->codecpar) < 0)
        return {};
    d.codec->thread_count = 1;  // tiles are already made on a worker of their own
    if (avcodec_open2(d.codec, decoder, nullptr) < 0)
        return {};
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (d.packet == nullptr || d.frame == nullptr)
        return {};
    for (int packets = 0; packets < kMaxPackets; ++packets) {
        const bool more = av_read_frame(d.format, d.packet) >= 0;
        if (more && d.packet->stream_index != stream) {
            av_packet_unref(d.packet);
            continue;
        }
        const int sent = avcodec_send_packet(d.codec, more ? d.packet : nullptr);
        if (more)
            av_packet_unref(d.packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF)
            continue;
        if (avcodec_receive_frame(d.codec, d.frame) == 0)
            return Scaled(d.frame, fit, d.scaler);
        if (!more)
            break;
    }
    return {};
}

void DrawFilmMark(QImage& tile)
{
    if (tile.isNull())
        return;
    QPainter painter(&tile);
    const int strip = std::max(6, tile.width() / 10);
    const int hole = std::max(2, strip / 2);
    for (const int x : {0, tile.width() - strip}) {
        painter.fillRect(x, 0, strip, tile.height(), QColor(20, 20, 20));
        for (int y = hole / 2; y + hole < tile.height(); y += 2 * hole)
            painter.fillRect(x + (strip - hole) / 2, y, hole, hole, QColor(235, 235, 235));
    }
}

}  // namespace quorvex::preview
