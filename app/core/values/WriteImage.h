// The items a write touches, as read from the meter: the before-image saved
// before every write (and restored from), and the image read back after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/values/MeterReadingJson.h"
#include "drivers/Coefficient.h"

enum class ItemKind { Coef, Record, Clock };

struct ImageItem {
  ItemKind kind = ItemKind::Coef;
  // A coefficient's place, value and bytes; for every kind, its state says
  // whether the meter answered.
  Coefficient coef;
  std::vector<uint8_t> bytes;  // a record's or the clock's bytes, in the meter's order

  static ImageItem Of(const Coefficient& c) { return {ItemKind::Coef, c, {}}; }
  bool Read() const { return coef.Read(); }
  void SetRead(bool read) { coef.state = read ? ValueState::Read : ValueState::Failed; }
  // The meter's bytes of the item, whatever its kind.
  std::vector<uint8_t> Raw() const;
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
// The bytes of HexBytes' form (two digits a byte, nothing between), as the
// images and the journal keep a record's and a clock's; nullopt for other text.
std::optional<std::vector<uint8_t>> BytesFromHex(const std::string& text);
// nullopt and a reason for anything that is not such an image.
std::optional<ItemsImage> ImageFromJson(const Json& json, std::string& error);

// Saves the image as <dir>/<model>-<serial>-<yyyy-mm-ddThh-mm-ss>.json, a
// virtual meter's (demo) as ...-demo.json, so that no one takes it for a real
// meter's undo; creates dir. The path, or empty and a reason when it cannot be
// written whole.
std::string SaveImage(const ItemsImage& image, const std::string& dir, std::string& error,
                      bool demo = false);
// The JSON document of a regular file of at most 1 MiB; nullopt and a reason
// for anything else (a folder, a FIFO, a device, no JSON).
std::optional<Json> LoadJsonFile(const std::string& path, std::string& error);
