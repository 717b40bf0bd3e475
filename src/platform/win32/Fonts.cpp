#include "platform/Platform.h"

#include "platform/win32/Win32.h"

#include <cstdlib>
#include <cwchar>

namespace larkspan::platform {

void PrepareFontConfiguration() {
    // The toolkit asks the system for its fonts directly on Windows; there is nothing to load
    // ahead of it.
}

std::optional<SystemFont> MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return std::nullopt;
    }
    const LOGFONTW& font = metrics.lfMessageFont;
    const std::size_t length = ::wcsnlen(font.lfFaceName, LF_FACESIZE);
    if (length == 0) {
        return std::nullopt;
    }
    SystemFont result;
    result.family = win32::Narrow(std::wstring_view(font.lfFaceName, length));
    // A negative height is the characters' height, a positive one the cell's; the toolkit takes
    // either as the pixel size, as it does for the fonts it reads from the system itself.
    result.pixelSize = std::abs(static_cast<int>(font.lfHeight));
    result.weight = font.lfWeight > 0 ? static_cast<int>(font.lfWeight) : FW_NORMAL;
    result.italic = font.lfItalic != 0;
    return result;
}

} // namespace larkspan::platform
