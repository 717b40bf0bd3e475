#pragma once

// Which pages of textract.bin's range the OCR engine reads, and how many at once: a page whose
// text layer is garbage (its fonts map glyphs to the wrong characters), a drawn page that shows
// marks like type, and nothing else. The judgements are cheap: they read pdftotext's text or a
// small render, never the engine's work.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace larkspan {

// Whether a page's text layer is garbage rather than text in some language: most of its
// characters are control, private-use or replacement characters, or most of its words mix
// scripts or hold symbols inside, as text read through a broken or rewritten Unicode map does.
// Text of any one script, with punctuation, digits, leader dots, code or formulas, is not.
bool LooksGarbled(std::string_view pageText);

// Whether the engine's text for a page whose layer looked garbled should take its place: it is
// text itself and shares hardly a word with the layer. A layer whose words the engine read too
// was real text, and is kept as pdftotext wrote it.
bool ReplacesLayer(std::string_view layerText, std::string_view recognisedText);

// The resolution at which a page is looked at for type: type of 6 pt and up keeps its letters
// apart there.
inline constexpr int kTextLikenessDpi = 150;

// Whether a grey image (binary PGM, P5, 8-bit) of a page drawn at `dpi` shows marks like type:
// dark shapes of a letter's size and proportions standing in a row, several of similar height
// side by side (an image of twice kTextLikenessDpi or more is looked at that much smaller). A
// drawing of lines and areas, a photograph or a colour chart shows none; anything unclear counts
// as type, so that the engine still reads it.
bool MayHoldText(std::string_view pgm, int dpi = kTextLikenessDpi);

// How many pages are recognised at once: one per processor the process may use, no more than
// the free memory holds at kWorkerMemory each, at least one. `asked` (LARKSPAN_OCR_JOBS), a
// number from 1 to kMostWorkers, overrides both.
inline constexpr std::uint64_t kWorkerMemory = 400ull << 20;
// The pixels each worker may hold at once: a letter or A4 page at 300 dpi, with room to spare
// (the engine's peak for one is about 110 MB, well within kWorkerMemory).
inline constexpr double kWorkerPagePixels = 10'000'000;
inline constexpr std::size_t kMostWorkers = 64;
std::size_t RecognitionWorkers(unsigned processors, std::uint64_t availableMemory,
                               std::string_view asked);

// A valid one-page PDF with nothing drawn on it, for telling whether the renderer works at all.
std::string EmptyPdf();

} // namespace larkspan
