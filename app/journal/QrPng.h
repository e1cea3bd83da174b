// A QR symbol as a PNG picture for an HTML page, made without any toolkit:
// one bit a pixel, black on white, the image data in stored (uncompressed)
// deflate blocks, so that neither zlib nor Qt is needed in the journal's
// library and a browser, Qt's rich text and a scanner all read it.
#pragma once

#include <string>
#include <string_view>

#include "ReportQr.h"

// The picture's bytes: scale pixels a module, a quiet zone of border modules.
std::string QrPng(const QrMatrix& matrix, int scale = 4, int border = 4);

// bytes in Base64 (RFC 4648, with padding), for a data URI.
std::string Base64(std::string_view bytes);
