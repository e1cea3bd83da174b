#include "ReportPdf.h"

#include <QAbstractTextDocumentLayout>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "app/journal/ReportQr.h"

namespace {

constexpr int kResolution = 300;  // dots per inch of the page's coordinates
// The QR code's side: 18 mm, which a phone reads from paper at arm's length.
constexpr qreal kQrSide = kResolution * 18 / 25.4;

// The seal at the foot of a page: the QR code of the number and the data's
// hash, and the hash as text beside it, so that every page, torn off alone,
// still names the report it belongs to and how to check it.
void DrawSeal(QPainter& p, const QRectF& footer, const ServiceReport& report) {
  const std::optional<QrMatrix> qr = EncodeQr(report.qrText);
  qreal textLeft = footer.left();
  if (qr) {
    const qreal module = kQrSide / (qr->width + 8);  // four light modules around
    const QPointF origin(footer.left() + 4 * module, footer.bottom() - kQrSide + 4 * module);
    p.fillRect(QRectF(footer.left(), footer.bottom() - kQrSide, kQrSide, kQrSide), Qt::white);
    for (int y = 0; y < qr->width; ++y)
      for (int x = 0; x < qr->width; ++x)
        if (qr->Dark(x, y))
          p.fillRect(QRectF(origin.x() + x * module, origin.y() + y * module, module, module),
                     Qt::black);
    textLeft += kQrSide + kResolution * 0.05;
  }
  QFont font = p.font();
  font.setPointSizeF(6.5);
  p.setFont(font);
  p.drawText(
      QRectF(textLeft, footer.top(), footer.right() - textLeft, footer.height()),
      Qt::AlignLeft | Qt::AlignBottom,
      QStringLiteral("№ %1\nSHA-256 сведений: %2")
          .arg(QString::fromStdString(report.number), QString::fromStdString(report.dataHash)));
}

void DrawPageFrame(QPainter& p, const QRectF& area, const ServiceReport& report, int page,
                   int pages, qreal band, qreal footBand) {
  QFont font = p.font();
  font.setPointSizeF(8.5);
  font.setBold(false);
  p.setFont(font);
  p.setPen(Qt::darkGray);
  const QRectF header(area.left(), area.top(), area.width(), band * 0.7);
  const QRectF footer(area.left(), area.bottom() - footBand * 0.7, area.width(), footBand * 0.7);
  p.drawText(header, Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("%1 № %2").arg(QString::fromStdString(report.title),
                                           QString::fromStdString(report.number)));
  p.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
             QStringLiteral("стр. %1 из %2").arg(page).arg(pages));
  if (report.dataHash.empty())
    p.drawText(footer, Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("№ %1").arg(QString::fromStdString(report.number)));
  else
    DrawSeal(p, footer, report);
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
  writer.setTitle(QStringLiteral("%1 № %2").arg(QString::fromStdString(report.title),
                                                QString::fromStdString(report.number)));
  writer.setCreator(QStringLiteral("Calibrate"));
  QPainter p;
  if (!p.begin(&writer)) {
    if (error) *error = QStringLiteral("Не удалось записать файл %1").arg(path);
    return false;
  }
  // The painter's origin is the top left of the area within the margins.
  const QRectF area(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolution).size());
  const qreal band = kResolution * 0.45;  // header and footer, about 11 mm each
  // A sealed report's footer holds the QR code as well.
  const qreal footBand = report.dataHash.empty() ? band : kQrSide / 0.7;
  QTextDocument doc;
  doc.documentLayout()->setPaintDevice(&writer);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(10);
  doc.setDefaultFont(font);
  doc.setHtml(QString::fromStdString(report.html));
  const QSizeF body(area.width(), area.height() - band - footBand);
  doc.setPageSize(body);
  const int pages = doc.pageCount();
  for (int page = 0; page < pages; ++page) {
    if (page > 0) writer.newPage();
    p.save();
    p.translate(0, band - page * body.height());
    doc.drawContents(&p, QRectF(QPointF(0, page * body.height()), body));
    p.restore();
    DrawPageFrame(p, area, report, page + 1, pages, band, footBand);
  }
  if (!p.end() || QFileInfo(path).size() == 0) {
    if (error) *error = QStringLiteral("Не удалось записать файл %1").arg(path);
    return false;
  }
  return true;
}
