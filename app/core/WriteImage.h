// The items a write touches, as read from the meter: the before-image saved
// before every write (and restored from), and the image read back after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/MeterReadingJson.h"
#include "drivers/lumCalibrationDriver.h"

enum class ItemKind { Coef, Record, Clock };

struct ImageItem {
  ItemKind kind = ItemKind::Coef;
  CoefList list = CoefList::K;
  uint8_t channel = 1;
  uint8_t index = 0;
  bool read = false;         // the meter answered
  std::vector<uint8_t> raw;  // the meter's bytes in its own order
  float value = 0;           // a coefficient's stored value
  std::string Name() const;  // "K[3] к.1", "запись калибровки", "часы"
  bool SamePlace(const ImageItem& other) const;
};

struct ItemsImage {
  std::string model;   // "ZFK-31", "ZFK-36", "GDZ-12.07S", "GDZ-12.08"
  std::string serial;  // UTF-8
  std::string time;    // local time of the read, "2026-12-08T07:40:00"
  std::vector<ImageItem> items;
};

Json ImageJson(const ItemsImage& image);
// nullopt and a reason for anything that is not such an image.
std::optional<ItemsImage> ImageFromJson(const Json& json, std::string& error);

// Saves the image as <dir>/<model>-<serial>-<yyyymmdd-hhmmss>.json, creating
// dir; the path, or empty and a reason when it cannot be written whole.
std::string SaveImage(const ItemsImage& image, const std::string& dir, std::string& error);
std::optional<ItemsImage> LoadImage(const std::string& path, std::string& error);
