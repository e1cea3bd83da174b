#include "ReportPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace {

constexpr int kResolution = 300;  // dots per inch of the page's coordinates

void DrawPageFrame(QPainter& p, const QRectF& area, const ServiceReport& report, int page,
                   int pages, qreal band) {
  QFont font = p.font();
  font.setPointSizeF(8.5);
  font.setBold(false);
  p.setFont(font);
  p.setPen(Qt::darkGray);
  const QRectF header(area.left(), area.top(), area.width(), band * 0.7);
  const QRectF footer(area.left(), area.bottom() - band * 0.7, area.width(), band * 0.7);
  p.drawText(
      header, Qt::AlignLeft | Qt::AlignTop,
      QStringLiteral("Отчёт об обслуживании № %1").arg(QString::fromStdString(report.number)));
  p.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
             QStringLiteral("стр. %1 из %2").arg(page).arg(pages));
  p.drawText(footer, Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("№ %1").arg(QString::fromStdString(report.number)));
  p.drawLine(QPointF(area.left(), header.bottom()), QPointF(area.right(), header.bottom()));
  p.drawLine(QPointF(area.left(), footer.top()), QPointF(area.right(), footer.top()));
  font.setBold(true);
  // Under the number: no page of a report from a broken journal passes for
  // one from a sound one.
  if (!report.damage.empty()) {
    p.setFont(font);
    p.setPen(QColor(176, 0, 0));
    p.drawText(header, Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(report.damage));
  }
  if (!report.demo) return;
  font.setPointSizeF(11);
  p.setFont(font);
  p.setPen(QColor(176, 0, 0));
  p.drawText(header, Qt::AlignRight | Qt::AlignTop, QStringLiteral("ДЕМО"));
  // Across the page as well, faint, so that no part of a page passes for a
  // real meter's report.
  p.save();
  font.setPointSizeF(90);
  p.setFont(font);
  p.setPen(QColor(176, 0, 0, 40));
  p.translate(area.center());
  p.rotate(-35);
  p.drawText(QRectF(-area.width(), -area.height() / 4, 2 * area.width(), area.height() / 2),
             Qt::AlignCenter, QStringLiteral("ДЕМО"));
  p.restore();
}

}  // namespace

bool WriteReportPdf(const ServiceReport& report, const QString& path, QString* error) {
  QPdfWriter writer(path);
  writer.setResolution(kResolution);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter));
  writer.setTitle(
      QStringLiteral("Отчёт об обслуживании № %1").arg(QString::fromStdString(report.number)));
  writer.setCreator(QStringLiteral("Calibrate"));
  QPainter p;
  if (!p.begin(&writer)) {
    if (error) *error = QStringLiteral("Не удалось записать файл %1").arg(path);
    return false;
  }
  // The painter's origin is the top left of the area within the margins.
  const QRectF area(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolution).size());
  const qreal band = kResolution * 0.45;  // header and footer, about 11 mm each
  QTextDocument doc;
  doc.documentLayout()->setPaintDevice(&writer);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(10);
  doc.setDefaultFont(font);
  doc.setHtml(QString::fromStdString(report.html));
  const QSizeF body(area.width(), area.height() - 2 * band);
  doc.setPageSize(body);
  const int pages = doc.pageCount();
  for (int page = 0; page < pages; ++page) {
    if (page > 0) writer.newPage();
    p.save();
    p.translate(0, band - page * body.height());
    doc.drawContents(&p, QRectF(QPointF(0, page * body.height()), body));
    p.restore();
    DrawPageFrame(p, area, report, page + 1, pages, band);
  }
  if (!p.end() || QFileInfo(path).size() == 0) {
    if (error) *error = QStringLiteral("Не удалось записать файл %1").arg(path);
    return false;
  }
  return true;
}
