#pragma once

#include <QObject>
#include <memory>

#include "image/Bitmap.h"
#include "image/MonoBitmap.h"
#include "settings/JobSettings.h"

class TPictureView;

// The B+W+Cut view's cut path: traced off the window's thread from the picture the job
// engraves and drawn over the black-and-white picture in the cut's colour. A newer tracing
// makes an older one's result void.
class CutView : public QObject {
    Q_OBJECT
public:
    CutView(TPictureView* view, QObject* parent);

    // Traces the cut of `settings` over the job's picture: the grey levels of `source` in a
    // grey engraving, `mono` otherwise. Settings that a job would refuse draw no path.
    void trace(const pyrolith::JobSettings& settings,
               std::shared_ptr<const pyrolith::Bitmap> source,
               std::shared_ptr<const pyrolith::MonoBitmap> mono, char decimalSeparator);

signals:
    // The view shows the newest tracing.
    void traced();

private:
    TPictureView* view_;
    int generation_ = 0;
};
