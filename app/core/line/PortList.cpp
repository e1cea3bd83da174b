#include "app/core/line/PortList.h"

std::string UsbAdapterInfo::Text() const {
  if (!Known()) return "";
  std::string text = vendorId + ":" + productId;
  for (const std::string* part : {&manufacturer, &product})
    if (!part->empty()) text += " " + *part;
  if (!serial.empty()) text += ", s/n " + serial;
  return text;
}
