// A build without libqrencode (the mingw cross build): no symbol.
#include "ReportQr.h"

std::optional<QrMatrix> EncodeQr(std::string_view) {
  return std::nullopt;
}
