#include "FormScale.h"

#include <QFontMetrics>
#include <QListView>
#include <QStyle>
#include <QWidget>

namespace {

// A list's minimum width shows its widest entry beside a vertical scroll bar,
// so no entry needs the list to scroll sideways.
void FitListsToEntries(QWidget& form) {
  for (QListView* list : form.findChildren<QListView*>()) {
    if (list->window() != &form) continue;  // a drop-down's own list
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + scrollBar);
  }
}

double LetterWidth(const QFontMetrics& metrics) {
  static const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  return metrics.horizontalAdvance(alphabet) / double(alphabet.size());
}

}  // namespace

void FixFormSize(QWidget& form, QSize drawn) {
  FitListsToEntries(form);
  const QFontMetrics metrics = form.fontMetrics();
  const QSize scaled(qRound(drawn.width() * LetterWidth(metrics) / kDrawnLetterWidth),
                     qRound(drawn.height() * metrics.height() / double(kDrawnTextHeight)));
  form.setFixedSize(scaled.expandedTo(form.minimumSizeHint()));
}
