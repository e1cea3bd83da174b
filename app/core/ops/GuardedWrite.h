// The guarded write: every change to a meter (coefficients, reset, seal,
// clock, restore of a saved image) runs the same steps, for the command line
// and the window alike:
//   1. read afresh what will change;
//   2. show what changes, and warn of what looks like a slip
//      (WriteConfirmation.h);
//   3. ask the view to confirm (the command line wants the serial number and
//      --yes, the window the last four digits), and, when there are
//      warnings, whether the engineer checked them;
//   4. save what was read as a before-image file the user can restore from
//      (only now: a dry run, a refusal or a cancel leaves no file behind);
//      without the file nothing is written. Then write with EWrite on for
//      this operation only;
//   5. read every written item back and compare;
//   6. hand back a record of before, after and verification.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/meter/Connection.h"
#include "app/core/meter/Meter.h"
#include "app/core/ops/WriteConfirmation.h"
#include "app/core/values/MeterSnapshot.h"
#include "app/core/values/WriteImage.h"

const char* WriteKindName(WriteKind kind);

// How a written item read back. An item whose write failed is never
// verified, whatever it reads back; nor is a coefficient of a ZFK-36 whose
// block no longer matches its checksum.
enum class Verification { Verified, Mismatch, NoReply, NotWritten, Corrupt };
// "проверено", "не совпадает", "нет ответа", "не записано", "блок повреждён".
const char* VerificationText(Verification v);
// An item's value as a write's record gives it: a coefficient's stored value,
// a record's text and bytes, other bytes in hexadecimal; "нет ответа" unread.
std::string WriteItemText(const ImageItem& item);

// What the operation asks for.
struct WriteRequest {
  WriteKind kind = WriteKind::Coefficients;
  std::vector<Coefficient> coefficients;  // stored values as ClbWriteK/ClbWriteObr take them
  std::string sealText;                   // UTF-8; 8 characters of code page 1251
  std::optional<ItemsImage> restore;      // the saved image to write back
  std::string saveDir;                    // where the before-image goes
  bool demo = false;                      // a virtual meter: the before-image is named so
  // A change beyond this share of the old value is warned of
  // ([Service] WarnChange of the settings file).
  double warnShare = kDefaultWarnShare;
  // Asked before each item is sent: true stops the operation there (Ctrl+C,
  // SIGTERM, the window closed); the item under way is finished first.
  std::function<bool()> stop;
};

// The view of a write: the window and the command line each supply one.
class WriteView {
 public:
  enum class Answer { Write, DryRun, Refuse };
  virtual ~WriteView() = default;
  virtual void ShowDifference(const Confirmation& confirmation) = 0;
  // Asked once the difference is shown; serial is the meter's, as read.
  virtual Answer Confirm(const std::string& serial) = 0;
  // After Confirm answered Write, for a confirmation with warnings: whether
  // the engineer said he checked them. Without that nothing is written.
  virtual bool WarningsAccepted() const = 0;
  // After Confirm answered Write: why the engineer makes this change, as he
  // gave it with his confirmation; empty when he gave none. The record keeps
  // it (WriteOutcome::changeReason).
  virtual std::string ChangeReason() const { return {}; }
  virtual void ShowMessage(const std::string& message) = 0;
};

// The command line's confirmation: a serial number given and different from
// the meter's refuses; without one, or without yes, a dry run.
WriteView::Answer SerialConfirmation(const std::optional<std::string>& expected, bool yes,
                                     const std::string& serial);

enum class WriteStatus { Verified, Failed, DryRun, Refused, PortError, NotFound, Interrupted };

struct WriteOutcome {
  WriteStatus status = WriteStatus::Refused;
  std::string reason;  // why it was refused or failed (UTF-8)
  // Why the engineer made the change, from the view's confirmation (UTF-8);
  // empty when none was given or nothing was confirmed.
  std::string changeReason;
  std::string imagePath;  // the before-image file, once saved (written, flushed, renamed)
  ItemsImage before, after;
  std::vector<Verification> verification;  // one per written item
  std::vector<bool> written;               // the write of the item returned success
  Json Record(WriteKind kind) const;
};

// The record kept of a write (the journal, when it is on). Started comes once
// the user confirmed and the meter was identified again, before the first
// byte is sent, with the items to write (intent.before, and the targets in
// intent.after) and the before-image file. A reason back refuses the write
// and nothing is sent: a write that could not be announced would change the
// meter without a record.
class WriteRecorder {
 public:
  virtual ~WriteRecorder() = default;
  virtual std::string Started(WriteKind kind, const WriteOutcome& intent) = 0;
};

// What a snapshot file holds of the items a write touches (every coefficient
// and the calibration record the meter answered for), as an image to restore.
// Obr[0] and Obr[1] are left out: they are K0 and Ku once more.
ItemsImage ImageOfSnapshot(const MeterSnapshot& snapshot);

// The image to restore from a file, the one reading of such a file for the
// window and the command line: a before-image, or a snapshot file of the
// meter (a document with a "schema"). Nullopt and the reason, naming the
// file, for anything else and for a snapshot that names no meter.
std::optional<ItemsImage> LoadRestoreImage(const std::string& path, std::string& error);

// Checks what can be checked without a meter: finite values, channel 1..2,
// index 0..9, the seal text. Empty when fine, else the reason.
std::string CheckRequest(const WriteRequest& request);

// Runs the operation on the connected meter: its serial number and model are
// the connection's, the port stays as it is. Nothing is written unless the
// view answers Write. In inspector mode (InspectorMode.h) both refuse at once,
// this one before it connects.
WriteOutcome RunGuardedWrite(Meter& meter, const WriteRequest& request, WriteView& view,
                             WriteRecorder* recorder = nullptr);

// Connects to the meter the PortSpec names and runs the operation on it; PortError or
// NotFound when the connection got no meter.
WriteOutcome RunGuardedWrite(const PortSpec& spec, const Catalogue& catalogue,
                             const WriteRequest& request, WriteView& view,
                             const LineTrace& trace = {}, WriteRecorder* recorder = nullptr);
