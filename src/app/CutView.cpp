#include "app/CutView.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <exception>

#include "app/TPictureView.h"
#include "gcode/CutPass.h"
#include "image/JobPicture.h"
#include "toolpath/ToolpathPreview.h"

CutView::CutView(TPictureView* view, QObject* parent) : QObject(parent), view_(view) {}

void CutView::trace(const pyrolith::JobSettings& settings,
                    std::shared_ptr<const pyrolith::Bitmap> source,
                    std::shared_ptr<const pyrolith::MonoBitmap> mono, char decimalSeparator)
{
    const int generation = ++generation_;
    QPointer<CutView> self(this);
    QThreadPool::globalInstance()->start([=] {
        QList<QPolygonF> paths;
        try {
            const auto shapes =
                pyrolith::EngravesPowerLevels(settings)
                    ? pyrolith::CutPathInPixels(settings,
                                                pyrolith::MakeJobGrayLevels(*source, settings),
                                                decimalSeparator)
                    : pyrolith::CutPathInPixels(settings, *mono, decimalSeparator);
            // The path's y grows upward from the picture's bottom edge, the view's downward
            // from its top.
            const double height = mono->height();
            for (const pyrolith::outline::Shape& shape : shapes) {
                QPolygonF path;
                path.reserve(static_cast<qsizetype>(shape.size()));
                for (const pyrolith::outline::Point& p : shape) {
                    path.append(QPointF(p.x, height - p.y));
                }
                paths.append(path);
            }
        } catch (const std::exception&) {
            paths.clear(); // a setting the job refuses: the job has no cut to show
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, paths, generation] {
                if (!self || generation != self->generation_) {
                    return;
                }
                const auto& c = pyrolith::toolpath::kCutColour;
                self->view_->setOverlay(paths, QColor(c[0], c[1], c[2]));
                emit self->traced();
            },
            Qt::QueuedConnection);
    });
}
