#include "WriteImage.h"

#include <cctype>
#include <filesystem>
#include <limits>

#include "app/core/base/FileSync.h"
#include "app/core/base/RegularFile.h"
#include "app/core/values/StorableValue.h"

namespace {

const char* KindName(ItemKind kind) {
  return kind == ItemKind::Coef ? "coef" : kind == ItemKind::Record ? "record" : "clock";
}

// File names keep letters, digits, '.' and '-'; anything else becomes '_'.
std::string FileSafe(const std::string& text) {
  std::string s;
  for (char c : text)
    s += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
  return s.empty() ? "unknown" : s;
}

// A place as the file names it, checked whole: a number that does not fit
// must not wrap round to another channel or index.
CoefRef PlaceFromJson(const Json& j) {
  const std::string list = j.at("list").get<std::string>();
  if (list != "K" && list != "Obr") throw std::runtime_error("неизвестный список " + list);
  const int channel = j.at("channel").get<int>();
  const int index = j.at("index").get<int>();
  if (channel < 1 || channel > 2) throw std::runtime_error("channel " + std::to_string(channel));
  if (index < 0 || index > 9) throw std::runtime_error("index " + std::to_string(index));
  return {list == "K" ? CoefList::K : CoefList::Obr, static_cast<uint8_t>(channel),
          static_cast<uint8_t>(index)};
}

// The stored value; null (what JSON makes of a NaN or an infinity) comes
// back as a NaN, for the bytes to tell the rest.
float StoredFromJson(const Json& stored) {
  if (stored.is_null()) return std::numeric_limits<float>::quiet_NaN();
  std::string why;
  const auto value = StorableFloat(stored.get<double>(), why);
  if (!value) throw std::runtime_error("stored " + stored.dump() + ": " + why);
  return *value;
}

}  // namespace

std::vector<uint8_t> ImageItem::Raw() const {
  if (kind != ItemKind::Coef) return bytes;
  if (!Read()) return {};
  return {coef.raw.begin(), coef.raw.end()};
}

std::string ImageItem::Name() const {
  if (kind == ItemKind::Record) return "запись калибровки";
  if (kind == ItemKind::Clock) return "часы";
  const std::string list = coef.ref.list == CoefList::K ? "K" : "Obr";
  return list + "[" + std::to_string(coef.ref.index) + "] к." + std::to_string(coef.ref.channel);
}

bool ImageItem::SamePlace(const ImageItem& o) const {
  return kind == o.kind && (kind != ItemKind::Coef || coef.ref == o.coef.ref);
}

std::optional<std::vector<uint8_t>> BytesFromHex(const std::string& text) {
  if (text.size() % 2) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t n = 0; n < text.size(); n += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[n])) ||
        !std::isxdigit(static_cast<unsigned char>(text[n + 1])))
      return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(n, 2), nullptr, 16)));
  }
  return bytes;
}

Json ImageJson(const ItemsImage& image) {
  Json items = Json::array();
  for (const ImageItem& i : image.items) {
    Json j = {{"item", KindName(i.kind)}};
    if (i.kind == ItemKind::Coef) {
      j["list"] = i.coef.ref.list == CoefList::K ? "K" : "Obr";
      j["channel"] = i.coef.ref.channel;
      j["index"] = i.coef.ref.index;
    }
    j["read"] = i.Read();
    j["raw"] = HexBytes(i.Raw());
    if (i.kind == ItemKind::Coef) j["stored"] = FloatNumber(i.coef.stored);
    items.push_back(j);
  }
  return {{"model", image.model}, {"serial", image.serial}, {"time", image.time}, {"items", items}};
}

std::optional<ItemsImage> ImageFromJson(const Json& json, std::string& error) {
  try {
    ItemsImage image;
    image.model = json.at("model").get<std::string>();
    image.serial = json.at("serial").get<std::string>();
    image.time = json.value("time", "");
    for (const Json& j : json.at("items")) {
      ImageItem i;
      const std::string kind = j.at("item").get<std::string>();
      if (kind != "coef" && kind != "record" && kind != "clock")
        throw std::runtime_error("неизвестный пункт " + kind);
      i.kind = kind == "coef"     ? ItemKind::Coef
               : kind == "record" ? ItemKind::Record
                                  : ItemKind::Clock;
      const bool read = j.at("read").get<bool>();
      i.SetRead(read);
      auto raw = BytesFromHex(j.at("raw").get<std::string>());
      if (!raw) throw std::runtime_error("неверные байты " + j.at("raw").get<std::string>());
      const size_t size = i.kind == ItemKind::Coef ? 4 : i.kind == ItemKind::Record ? 16 : 10;
      if (read && raw->size() != size) throw std::runtime_error("не то число байтов");
      if (i.kind == ItemKind::Coef) {
        i.coef.ref = PlaceFromJson(j);
        i.coef.stored = StoredFromJson(j.at("stored"));
        if (read) std::copy(raw->begin(), raw->end(), i.coef.raw.begin());
      } else {
        i.bytes = *raw;
      }
      image.items.push_back(i);
    }
    return image;
  } catch (const std::exception& e) {
    error = std::string("не образ до записи: ") + e.what();
    return std::nullopt;
  }
}

std::string SaveImage(const ItemsImage& image, const std::string& dir, std::string& error,
                      bool demo) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(fs::path(dir), ec);
  if (ec) {
    error = "не удалось создать " + dir + ": " + ec.message();
    return {};
  }
  std::string stamp = image.time;
  for (char& c : stamp)
    if (c == ':') c = '-';
  // Two images within a second must not share a file: the later one would
  // replace the image a restore needs.
  const std::string stem = dir + "/" + FileSafe(image.model) + "-" + FileSafe(image.serial) + "-" +
                           FileSafe(stamp) + (demo ? "-demo" : "");
  std::string path = stem + ".json";
  for (int n = 2; fs::exists(fs::path(path), ec); ++n)
    path = stem + "-" + std::to_string(n) + ".json";
  // The only undo of a write must survive a crash or a full disk whole or
  // not at all: written beside, flushed, then moved into its name.
  const std::string temporary = path + ".tmp";
  if (!WriteFileDurably(temporary, DumpJson(ImageJson(image), 2) + "\n") ||
      !MoveIntoPlace(temporary, path)) {
    fs::remove(fs::path(temporary), ec);
    error = "не удалось записать " + path;
    return {};
  }
  FlushFolder(dir);
  return path;
}

std::optional<Json> LoadJsonFile(const std::string& path, std::string& error) {
  std::string why;
  const auto text = ReadRegularFile(path, kDocumentFileLimit, why);
  if (!text) {
    error = path + ": " + why;
    return std::nullopt;
  }
  Json json = Json::parse(*text, nullptr, false);
  if (json.is_discarded()) {
    error = path + ": не JSON";
    return std::nullopt;
  }
  return json;
}
