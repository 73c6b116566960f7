// Fonts, text drawing into surfaces, and images made from surfaces.
#include <QFontMetrics>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "platform/ui/qt/backend.h"

namespace platform::ui::qt {

QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string FromQt(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString StripPrefix(const std::string& text) {
    QString out;
    const QString in = ToQt(text);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == QLatin1Char('&')) {
            if (i + 1 < in.size() && in[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    return out;
}

namespace {

// Cell height over em size of a family (the desktop platform's positive font heights are cells).
double CellPerEm(const QString& family) {
    static QHash<QString, double> cache;
    auto it = cache.find(family);
    if (it != cache.end()) return *it;
    QFont probe(family);
    probe.setPixelSize(100);
    const double ratio = QFontMetrics(probe).height() / 100.0;
    cache.insert(family, ratio);
    return ratio;
}

}  // namespace

QFont MakeQFont(const FontSpec& spec) {
    const QString family = ToQt(MapFontFace(spec.face));
    QFont font(family);
    font.setPixelSize(spec.EmPixels(CellPerEm(family)));
    font.setWeight(spec.weight >= FW_BOLD ? QFont::Bold : QFont::Normal);
    font.setItalic(spec.italic);
    font.setStyleStrategy(QFont::PreferMatch);
    return font;
}

DialogBaseUnits MeasureBaseUnits(const FontSpec& font) {
    const QFontMetrics m(MakeQFont(font));
    const int width = m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits units;
    units.x = (width / 26 + 1) / 2;
    units.y = m.height();
    return units;
}

QImage ViewOf(const Surface& s) {
    return QImage(reinterpret_cast<const uchar*>(s.Pixels()), s.Width(), s.Height(), s.BytesPerRow(), QImage::Format_RGB32);
}

QImage ToImage(const Surface& s, bool keyed) {
    QImage image = ViewOf(s).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgb(255, 0, 255);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x] | 0xFF000000u;
            row[x] = keyed && p == (key | 0xFF000000u) ? 0u : p;
        }
    }
    return image;
}

SIZE DrawTextOn(Surface* target, const TextJob& job) {
    const QFont font = MakeQFont(job.font);
    const QFontMetrics m(font);
    const QString text = ToQt(job.text);
    const int width = m.horizontalAdvance(text);
    const int height = m.height();
    if (target != nullptr && target->Width() > 0 && target->Height() > 0) {
        int x = job.x;
        int top = job.y;
        if ((job.align & TA_CENTER) == TA_CENTER) x -= width / 2;
        else if ((job.align & TA_RIGHT) == TA_RIGHT) x -= width;
        if ((job.align & TA_BASELINE) == TA_BASELINE) top -= m.ascent();
        else if ((job.align & TA_BOTTOM) == TA_BOTTOM) top -= height;
        QImage view(reinterpret_cast<uchar*>(target->Pixels()), target->Width(), target->Height(), target->BytesPerRow(),
                    QImage::Format_RGB32);
        QPainter p(&view);
        if (job.bkMode == OPAQUE) {
            p.fillRect(QRect(x, top, width, height), QColor(GetRValue(job.bkColor), GetGValue(job.bkColor), GetBValue(job.bkColor)));
        }
        p.setFont(font);
        p.setPen(QColor(GetRValue(job.color), GetGValue(job.color), GetBValue(job.color)));
        p.drawText(QPoint(x, top + m.ascent()), text);
        p.end();
        // Keep the unused byte of every pixel 0, as the rest of the drawing code leaves it.
        const int x0 = std::max(0, x), x1 = std::min(target->Width(), x + width);
        const int y0 = std::max(0, top), y1 = std::min(target->Height(), top + height);
        for (int y = y0; y < y1; ++y) {
            std::uint32_t* row = target->Pixels() + static_cast<std::size_t>(y) * static_cast<std::size_t>(target->Width());
            for (int xx = x0; xx < x1; ++xx) row[xx] &= 0x00FFFFFFu;
        }
        target->Touch();
    }
    return SIZE{width, height};
}

}  // namespace platform::ui::qt
