#pragma once
// "Edit Servo": one row of the servo settings table in boxes. OK checks the
// three positions (whole numbers, Min not above Max, Home within them) and
// the two caps and writes the row back into the table; Cancel, or closing
// the dialog any other way, discards the entries.

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class frmServoSettings;

class frmEditServoSettings : public QDialog {
    Q_OBJECT

public:
    // The dialog edits a row of `table` and belongs to it.
    explicit frmEditServoSettings(frmServoSettings& table);
    ~frmEditServoSettings() override;

    // The row being edited, as text ("1" to "16").
    void setTag(const QString& tag) { tag_ = tag; }
    QString tag() const { return tag_; }

    QLineEdit* Text1() const { return Text1_; }
    QLineEdit* Text2() const { return Text2_; }
    QLineEdit* Text3() const { return Text3_; }
    QLineEdit* Text4() const { return Text4_; }
    QLineEdit* Text5() const { return Text5_; }  // speed cap
    QLineEdit* Text6() const { return Text6_; }  // acceleration cap
    QCheckBox* chkEnabled() const { return chkEnabled_; }
    QLabel* lblTitle() const { return lblTitle_; }

public slots:
    // Shows the row in the title; runs whenever the dialog is shown.
    void Form_Activate();
    void Command1_Click();  // OK

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Min not above Max and Home within them; otherwise says why, puts the
    // focus on the box to mend and returns false.
    bool LimitsAccepted();

    frmServoSettings& table_;
    QString tag_;
    QLabel* lblTitle_ = nullptr;
    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QLineEdit* Text3_ = nullptr;
    QLineEdit* Text4_ = nullptr;
    QLineEdit* Text5_ = nullptr;
    QLineEdit* Text6_ = nullptr;
    QCheckBox* chkEnabled_ = nullptr;
    QPushButton* Command1_ = nullptr;
};

}  // namespace kestrova
