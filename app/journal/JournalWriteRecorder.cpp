#include "JournalWriteRecorder.h"

#include <filesystem>

#include "Sha256.h"
#include "app/core/base/RegularFile.h"

namespace {

// What an item is to hold. The clock's target has no bytes yet: it is the
// computer's time at the moment of the write.
std::string TargetText(const ImageItem& target) {
  return target.kind == ItemKind::Clock ? "время компьютера" : WriteItemText(target);
}

Json StartDocument(WriteKind kind, const WriteOutcome& intent, const std::string& imageDigest) {
  Json items = Json::array();
  for (size_t n = 0; n < intent.after.items.size(); ++n)
    items.push_back(
        {{"item", intent.after.items[n].Name()},
         {"before",
          n < intent.before.items.size() ? WriteItemText(intent.before.items[n]) : std::string()},
         {"after", TargetText(intent.after.items[n])}});
  return {{"operation", WriteKindName(kind)},
          {"items", items},
          {"before_image_file", intent.imagePath},
          {"before_image_sha256", imageDigest},
          {"before", ImageJson(intent.before)}};
}

}  // namespace

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t") == std::string::npos;
}

WriteRecordGap MissingForWrite(const JournalSettings& settings, const std::string& changeReason) {
  if (!settings.enabled) return {};
  return {IsBlank(settings.engineer), settings.requireReason && IsBlank(changeReason)};
}

JournalWriteRecorder::JournalWriteRecorder(JournalSettings settings, std::string program, bool demo,
                                           JournalPlace place)
    : settings_(std::move(settings)),
      program_(std::move(program)),
      demo_(demo),
      place_(std::move(place)) {}

std::string JournalWriteRecorder::Started(WriteKind kind, const WriteOutcome& intent) {
  if (!settings_.enabled) return {};
  const WriteRecordGap gap = MissingForWrite(settings_, intent.changeReason);
  if (gap.engineer) return "в журнале не указан инженер ([Journal] Engineer)";
  if (gap.reason) return "не указана причина изменения, а журнал её требует";
  // The digest ties the record to the undo file as it was saved: a file
  // changed or replaced later no longer matches.
  std::string why;
  const auto image = ReadRegularFile(intent.imagePath, kDocumentFileLimit, why);
  if (!image) return "образ «до записи» " + intent.imagePath + " не прочитан: " + why;
  const std::string digest = Sha256Hex(*image);
  if (digest.empty()) return "журнал недоступен: не удалось вычислить SHA-256 образа";
  JournalEvent e = NewJournalEvent("write-started", settings_, program_,
                                   StartDocument(kind, intent, digest), demo_);
  e.port = place_.port;
  e.speed = place_.speed;
  e.address = place_.address;
  e.model = intent.before.model;
  e.serial = intent.before.serial;
  if (!IsBlank(intent.changeReason)) e.reason = intent.changeReason;
  const JournalAppendResult result = JournalWriter(settings_.dir).Append(e);
  if (!result.ok) return "журнал недоступен: " + result.error;
  startedId_ = result.id;
  return {};
}

std::optional<JournalAppendResult> JournalWriteRecorder::Finish(WriteKind kind,
                                                                const WriteOutcome& outcome) {
  if (!settings_.enabled || (startedId_.empty() && !JournalsWrite(outcome))) return std::nullopt;
  JournalEvent e = WriteJournalEvent(kind, outcome, settings_, program_, demo_, place_);
  if (!startedId_.empty()) e.payload["started"] = startedId_;
  // A write is worth waiting for: what was changed in a meter must be on file.
  return JournalWriter(settings_.dir).Append(e);
}
