#pragma once

#include <QByteArray>
#include <QDialog>

class QCloseEvent;
class QPixmap;
class Ui_MainWindow;

// Pad units to screen pixels: logicalRange / physicalRange * value, truncated.
int convertPhysicalTologicalValue(int value, int physicalRange, int logicalRange);

// The dialog in which a signature is written, on the pad's own screen. Pen
// samples arrive through on_getDataOk; the signer presses the buttons with
// the pen (a lift over a button) or the mouse. The signing command reads the
// outcome from the public members once exec() has returned.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Clears the canvas to white unless re-signing is locked.
    void btnResign_clicked();
    // One drawing step in canvas coordinates.
    void DrawWgtHandWriting(int x, int y, int p);

    int m_result;           // 0 OK, -1 cancelled, -2/-3 device errors, -88 ended by command
    QByteArray m_base64;    // Base64 of the PNG image; set only by OK
    bool m_endedByCommand;  // ended by sEndSign: the command sends no reply

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();
    void on_btnResign_clicked();
    void on_findDeviceErro();
    void on_openDeviceErro();
    void on_readDataErro();
    void on_getDataOk(int x, int y, int p);
    void onsEndSign();

private:
    bool m_closeAllowed;
    Ui_MainWindow* ui;
    QPixmap* m_canvas;
};
