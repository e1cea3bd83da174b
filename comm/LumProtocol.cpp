#include "LumProtocol.h"

#include <string>

#include "LumUtils.h"

void TlumProtocol::NoteAttempt(const char* protocol, uint32_t attempt, uint32_t of) const {
  if (!comPort_ || !comPort_->TracingNotes()) return;
  std::string note = std::string(protocol) + ", адрес " + std::to_string(netAddr_) + ", попытка " +
                     std::to_string(attempt) + " из " + std::to_string(of) + ": ";
  if (lastError_ == lumOk) {
    note += "ответ принят";
  } else {
    note += std::string(ResultMessage(lastError_)) + " (код " + std::to_string(lastError_) + ")";
    note += attempt < of ? ", повтор" : ", больше попыток нет";
  }
  comPort_->TraceNote(note);
}
