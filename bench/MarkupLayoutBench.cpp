// The layout of a 2 KB markup text: measure and draw onto an off-screen image, as a message box
// does on every paint.
#include "MarkupRenderer.h"
#include "QPainterMarkupCanvas.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace quorvex::markup;

namespace {

std::string TwoKilobyteText()
{
    const std::string paragraph =
        "<b>Quorvex</b> found <font color=#2a7ab0>1,204 pictures</font> on the card. <i>Saving</i> copies each "
        "one into the folder you choose, under <code>recoverd</code>. <a href=\"https://example.org/help\">Read "
        "more</a> about the maximum size.<br>"
        "<table border=1 cellpadding=3><tr><td bgcolor=#eef3fa>JPG</td><td>812</td></tr>"
        "<tr><td bgcolor=#eef3fa>PNG</td><td>392</td></tr></table>";
    std::string text;
    while (text.size() < 2048)
        text += paragraph;
    return text.substr(0, text.rfind("</table>") + 8);
}

void MeasureAndDraw2KB(benchmark::State& state)
{
    const std::string text = TwoKilobyteText();
    QImage image(480, 900, QImage::Format_RGB32);
    MarkupRenderer renderer;
    renderer.SetMaximumWidth(460);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        QPainterMarkupCanvas canvas(painter);
        const Size size = renderer.Measure(canvas, text);
        renderer.Draw(canvas, Rect{0, 0, size.width, size.height});
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(MeasureAndDraw2KB)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
