// Draws the window's icons into src/window/icons/ (run by make-icons.sh; the
// PNGs are committed, so the build does not need this).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {
using Draw = std::function<void(QPainter &)>; // in a 48 x 48 space

void page(QPainter &p, QRectF r, QColor paper, QColor edge) {
    QPainterPath path;
    const qreal fold = r.width() * 0.3;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(edge, 2.0));
    p.setBrush(paper);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(edge.lighter(160));
    p.drawPath(corner);
}

void lines(QPainter &p, qreal x0, qreal x1, qreal y, int n, QColor c, qreal step = 6) {
    p.setPen(QPen(c, 2.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < n; ++i)
        p.drawLine(QPointF(x0, y + i * step), QPointF(i == n - 1 ? (x0 + x1) / 2 : x1, y + i * step));
}

void badge(QPainter &p, QPointF c, qreal r, QColor fill, bool check) {
    p.setPen(QPen(Qt::white, 2.5));
    p.setBrush(fill);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(Qt::white, 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (check) {
        QPainterPath s;
        s.moveTo(c + QPointF(-r * 0.5, 0));
        s.lineTo(c + QPointF(-r * 0.12, r * 0.42));
        s.lineTo(c + QPointF(r * 0.52, -r * 0.4));
        p.drawPath(s);
    } else {
        const qreal d = r * 0.42;
        p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
        p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
    }
}

const QColor kEdge(0x44, 0x55, 0x66);
const QColor kBlue(0x2a, 0x6f, 0xb8);
const QColor kGreen(0x2e, 0x9a, 0x4a);
const QColor kRed(0xc8, 0x3a, 0x32);

void printer(QPainter &p) {
    page(p, QRectF(13, 4, 22, 16), Qt::white, kEdge); // paper going in
    QPainterPath body;
    body.addRoundedRect(QRectF(4, 16, 40, 20), 5, 5);
    QLinearGradient g(0, 16, 0, 36);
    g.setColorAt(0, QColor(0x8a, 0x99, 0xa8));
    g.setColorAt(1, QColor(0x5a, 0x69, 0x78));
    p.setPen(QPen(kEdge, 2));
    p.setBrush(g);
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen.lighter(130));
    p.drawEllipse(QPointF(37, 22), 2, 2);
    p.setPen(QPen(kEdge, 2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(11, 28, 26, 16)); // the printed sheet
    lines(p, 15, 33, 33, 2, kBlue, 5);
}

void viewer(QPainter &p) {
    page(p, QRectF(6, 3, 28, 38), Qt::white, kEdge);
    lines(p, 11, 28, 16, 4, QColor(0x90, 0x9c, 0xa8));
    p.setPen(QPen(kEdge, 3));
    p.setBrush(QColor(0xd8, 0xea, 0xfa, 220));
    p.drawEllipse(QPointF(29, 28), 9, 9);
    p.setPen(QPen(kEdge, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(36, 35), QPointF(43, 42));
}

void importer(QPainter &p) {
    // A database drum with an arrow going into it.
    QLinearGradient g(6, 0, 42, 0);
    g.setColorAt(0, QColor(0x3b, 0x7d, 0xc4));
    g.setColorAt(1, QColor(0x1f, 0x55, 0x93));
    p.setPen(QPen(kEdge.darker(120), 2));
    p.setBrush(g);
    QPainterPath drum;
    drum.moveTo(6, 24);
    drum.lineTo(6, 40);
    drum.arcTo(QRectF(6, 34, 36, 12), 180, 180);
    drum.lineTo(42, 24);
    drum.closeSubpath();
    p.drawPath(drum);
    p.setBrush(QColor(0x8c, 0xbf, 0xf0));
    p.drawEllipse(QRectF(6, 18, 36, 12));
    p.setPen(QPen(QColor(255, 255, 255, 120), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6, 28, 36, 12), 200 * 16, 140 * 16);
    QPainterPath arrow;
    arrow.moveTo(19, 2);
    arrow.lineTo(29, 2);
    arrow.lineTo(29, 13);
    arrow.lineTo(35, 13);
    arrow.lineTo(24, 25);
    arrow.lineTo(13, 13);
    arrow.lineTo(19, 13);
    arrow.closeSubpath();
    p.setPen(QPen(kGreen.darker(140), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kGreen);
    p.drawPath(arrow);
}

void good(QPainter &p) {
    page(p, QRectF(6, 2, 30, 40), Qt::white, kEdge);
    lines(p, 12, 29, 15, 3, kBlue, 7);
    badge(p, QPointF(34, 34), 12, kGreen, true);
}

void bad(QPainter &p) {
    page(p, QRectF(6, 2, 30, 40), QColor(0xf2, 0xf2, 0xf2), QColor(0x88, 0x88, 0x88));
    badge(p, QPointF(34, 34), 12, kRed, false);
}

void clockIcon(QPainter &p) {
    p.setPen(QPen(kEdge, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 24), 20, 20);
    p.setPen(QPen(kEdge, 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.translate(24, 24);
        p.rotate(i * 30);
        p.drawLine(QPointF(0, -16), QPointF(0, i % 3 == 0 ? -13 : -14.5));
        p.restore();
    }
    p.setPen(QPen(kBlue, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(24, 24), QPointF(24, 12));
    p.drawLine(QPointF(24, 24), QPointF(32, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(24, 24), 2.5, 2.5);
}

void save(const QString &dir, const QString &name, int size, const Draw &draw) {
    for (int scale : {1, 2}) {
        const int px = size * scale;
        QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(px / 48.0, px / 48.0);
        draw(p);
        p.end();
        img.save(dir + QLatin1Char('/') + name + (scale == 2 ? QStringLiteral("@2x") : QString()) +
                 QStringLiteral(".png"));
    }
}
} // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    save(dir, QStringLiteral("PRINT"), 24, printer);
    save(dir, QStringLiteral("VIEW"), 24, viewer);
    save(dir, QStringLiteral("IMPORT"), 24, importer);
    save(dir, QStringLiteral("POLL_LOG_GOOD"), 16, good);
    save(dir, QStringLiteral("POLL_LOG_BAD"), 16, bad);
    save(dir, QStringLiteral("POLL_LOG"), 32, clockIcon);
    return 0;
}
