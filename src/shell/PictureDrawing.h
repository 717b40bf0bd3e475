#pragma once

// How a picture resource becomes pixels. The program's pictures are drawn as SVG; where Qt has
// an SVG renderer they are rendered at run time, elsewhere (Qt for Windows has none) they are
// rendered at build time by the same renderer into PNGs at the sizes the program uses, and
// one of those is drawn. Private to Pictures.cpp.

#include <QImage>
#include <QString>

namespace larkspan {

// Draws the picture `resourcePath` (":/pictures/....svg") over the whole of `image`, which is
// transparent ARGB32 (premultiplied). Returns false, leaving `image` alone, when there is no
// such picture.
bool DrawPicture(const QString& resourcePath, QImage& image);

} // namespace larkspan
