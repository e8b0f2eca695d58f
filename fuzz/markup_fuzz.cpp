// libFuzzer target: the markup parser and the layout of both passes over the fake canvas.
// The first byte picks the options, the rest is the markup text.
#include "FakeMarkupCanvas.h"
#include "MarkupRenderer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace quorvex::markup;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 8192)
        return 0;
    const std::uint8_t options = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    MarkupRenderer renderer;
    renderer.SetMaximumWidth((options & 0x03) * 120);
    renderer.SetNewlineMode((options & 0x04) == 0);
    renderer.SetColorMode((options & 0x08) == 0);
    if (options & 0x10)
        renderer.SetStyleSheet(text);
    std::vector<ArgbImage> list(3, ArgbImage{2, 2, {0xFFFF00FF, 0xFF000000, 0x80FFFFFF, 0}});
    renderer.SetImageList(list);

    FakeMarkupCanvas canvas;
    const Size block = renderer.Measure(canvas, text);
    renderer.Draw(canvas, Rect{0, 0, block.width, block.height});
    if (!renderer.LinkAreas().empty()) {
        const Rect& area = renderer.LinkAreas().front().bounds;
        renderer.CursorTest({area.left, area.top});
        renderer.Click({area.left, area.top});
        renderer.CursorTest({-5, -5});
    }
    return 0;
}
