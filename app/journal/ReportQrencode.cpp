// The QR symbol through libqrencode.
#include <qrencode.h>

#include <memory>
#include <string>

#include "ReportQr.h"

std::optional<QrMatrix> EncodeQr(std::string_view text) {
  const std::string zeroEnded(text);
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString8bit(zeroEnded.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
  if (!code || code->width <= 0) return std::nullopt;
  QrMatrix m;
  m.width = code->width;
  const size_t modules = static_cast<size_t>(m.width) * static_cast<size_t>(m.width);
  m.dark.resize(modules);
  // Bit 0 of each byte is the module's colour; the others say what it is for.
  for (size_t n = 0; n < modules; ++n)
    m.dark[n] = code->data[n] & 1;
  return m;
}
