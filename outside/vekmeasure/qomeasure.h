// The measurement library: measurement units drawn over an image view (line, polyline and
// polygon, rectangle, circles, angle, count marks and text remarks) with lengths and areas in
// the active calibration's units, a named list of calibrations, and the scale line.
// Points are given relative to the image's top-left corner on the display, at the scale set
// with SetScale; units are kept in image pixels.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <QVector>

#include <functional>

class QWidget;

struct CQoCalibration {
    QString name;
    double unitsPerPixel = 1.0;
    QString unit = "px";
};

class CQoMeasure {
public:
    enum UnitKind { KindLine = 1, KindRect = 2, KindCircle = 3, KindPolygon = 4, KindAngle = 5, KindCount = 6,
                    KindText = 7 };
    struct Unit {
        UnitKind type;
        QVector<QPointF> points;  // image pixels
        QString text;
    };

    explicit CQoMeasure(QWidget* view);
    virtual ~CQoMeasure();

    static void CreateCursor();
    QWidget* View() const { return m_pView; }
    // Takes a menu code (0..23) for the object; non-zero when the tool is taken.
    // Codes 0 (calibrate), 1 (calibration table), 13 (measurement table) and 19 (label
    // precision) open a window of the host program through the dialog hook; its answer is the
    // result. Without a hook they are taken and do nothing.
    static int MenuItemEvent(int code, CQoMeasure* measure);
    enum DialogCode { DlgCalibrate = 0, DlgCalibrateTable = 1, DlgMeasureTable = 13, DlgPrecision = 19 };
    using DialogHook = std::function<int(int code, CQoMeasure* measure)>;
    static void SetDialogHook(DialogHook hook);
    // Current selection code (0 select, 1 line, 2 rectangle, 3 circle, 4 polygon, 5 angle,
    // 6 count, 7 remark, 8 delete, 9 arc, 10 parallel, 11 diameter circle, 12 concentric,
    // 13 perpendicular).
    static int GetCurSelItem();

    void OnMouseMove(const QPoint& p);
    void OnLButtonDown(const QPoint& p);
    void OnLButtonUp(const QPoint& p);
    void OnLButtonDblClk(const QPoint& p);

    void SetScale(double scale);
    void SetInfoFrmZoom(int on, double factor);
    void DrawAllUnit(QPainter* dc, const QPoint& offset);
    void ScaleLine(int show);
    bool IsScaleLineShown() const { return m_bScaleLine; }

    const QStringList* GetActiveCalibrateList();
    void SetActiveCalibrateList(int index);
    int ActiveCalibration() const { return m_nActive; }
    // Adds a named calibration (units per image pixel); returns its index.
    int AddCalibration(const QString& name, double unitsPerPixel, const QString& unit);
    int CalibrationCount() const { return m_cals.size(); }
    const CQoCalibration& CalibrationAt(int i) const { return m_cals[i]; }
    // Removes a calibration other than the first ("Pixel"); the active one falls back to it.
    bool RemoveCalibration(int index);
    // The last line unit drawn, or -1.
    int LastLineUnit() const;
    // Length in image pixels of a line unit, 0 for anything else.
    double LinePixels(int unit) const;
    // Adds and activates a calibration in which the line unit measures knownLength units;
    // -1 (and nothing added) for a missing or zero-length line or a length not above 0.
    int CalibrateFromLine(int unit, double knownLength, const QString& unitName, const QString& name);
    // Decimals of the lengths and areas in the labels (0..6, start 2).
    void SetPrecision(int decimals);
    int Precision() const { return m_nPrecision; }

    // The image under the units changed its geometry: `t` maps old image pixels to new ones.
    // Units move with the picture; the calibrations (all but "Pixel", which counts the image's
    // own pixels) follow the change of pixel size, so measured lengths keep their values.
    void TransformImage(const QTransform& t);

    int UnitCount() const { return m_units.size(); }
    const Unit& UnitAt(int i) const { return m_units[i]; }
    // Length (lines, polylines, circle circumference), area (rectangles, polygons, circles)
    // and angle in degrees, in the active calibration.
    double UnitLength(int i) const;
    double UnitArea(int i) const;
    double UnitAngle(int i) const;
    QString UnitLabel(int i) const;

private:
    QPointF ToImage(const QPoint& p) const;
    void FinishPending();
    const CQoCalibration& Cal() const { return m_cals[m_nActive]; }

    QWidget* m_pView;
    double m_dScale = 1.0;
    double m_dLabelFactor = 1.0;
    bool m_bScaleLine = false;
    QVector<Unit> m_units;
    bool m_bPending = false;
    bool m_bThreePoint = false;  // a circle given by three clicks
    Unit m_pending{KindLine, {}, {}};
    QVector<CQoCalibration> m_cals;
    QStringList m_calNames;
    int m_nActive = 0;
    int m_nPrecision = 2;
    int m_nSelected = -1;
    QPointF m_dragLast;
    bool m_bDragging = false;
};
