// The main window's controller dock (View > Controller): what the servo
// controller received, whichever device the port stands for. Whether it is
// shown, and the dials' sweep, are remembered for the user.

#include "controller_view.h"
#include "files/registry.h"
#include "files/settings_store.h"
#include "main_window.h"

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace kestrova {

namespace {

constexpr const char* kControllerShownValue = "Controller View";
constexpr const char* kControllerSweepValue = "Controller Sweep";

cRegistry ControllerSetting(const StoreLocation& store, const char* name) {
    cRegistry setting(store);
    setting.SetClassKey(kHkeyCurrentUser);
    setting.SetSectionKey(kProgramKey);
    setting.SetValueKey(name);
    setting.SetValueType(kRegNumber);
    return setting;
}

}  // namespace

void frmMain::BuildControllerDock() {
    controllerView_ = new ControllerView(project_, [this] { return link_.Controller().State(); });
    controllerDock_ = new QDockWidget(QStringLiteral("Controller"), this);
    controllerDock_->setObjectName(QStringLiteral("dockController"));
    controllerDock_->setWidget(controllerView_);
    controllerDock_->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, controllerDock_);

    QAction* toggle = controllerDock_->toggleViewAction();
    toggle->setObjectName(QStringLiteral("miController"));
    toggle->setText(QStringLiteral("&Controller"));
    QMenu* miView = new QMenu(QStringLiteral("&View"), menuBar());
    miView->setObjectName(QStringLiteral("miView"));
    miView->addAction(toggle);
    QMenu* miHelp = menuBar()->findChild<QMenu*>(QStringLiteral("miHelp"));
    menuBar()->insertMenu(miHelp ? miHelp->menuAction() : nullptr, miView);

    // It floats beside the main window at first (the main window keeps its
    // size), on the right or else the left; where the screen has no room
    // beside it, it is docked on the right rather than float over the
    // window's own controls. The user may dock it on either side.
    controllerDock_->setFloating(true);
    controllerDock_->hide();
    connect(controllerDock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible || !controllerDock_->isFloating() || controllerDockPlaced_) return;
        controllerDockPlaced_ = true;
        controllerDock_->resize(controllerView_->sizeHint());
        const QRect owner = frameGeometry();
        const int width = controllerDock_->frameGeometry().width();
        const QRect room = screen() ? screen()->availableGeometry() : QRect();
        if (room.isNull() || owner.right() + 8 + width <= room.right()) {
            controllerDock_->move(owner.topRight() + QPoint(8, 0));
        } else if (owner.left() - 8 - width >= room.left()) {
            controllerDock_->move(owner.left() - 8 - width, owner.top());
        } else if (isVisible()) {
            controllerDock_->setFloating(false);
        } else {
            controllerDock_->move(owner.topRight() + QPoint(8, 0));  // a window not shown yet covers nothing
        }
    });
    cRegistry sweep = ControllerSetting(store_, kControllerSweepValue);
    if (const int32_t degrees = RegistryValueToInt32(sweep.Value()); degrees > 0) controllerView_->SetSweep(degrees);
    connect(controllerView_, &ControllerView::SweepChosen, this, [this](double degrees) {
        cRegistry store = ControllerSetting(store_, kControllerSweepValue);
        if (const auto error = store.SetValue(static_cast<int32_t>(degrees))) Tell(RegistryErrorMessage(*error));
    });

    cRegistry setting = ControllerSetting(store_, kControllerShownValue);
    if (RegistryValueToInt32(setting.Value()) == 1) {
        // Once the main window stands where it will stand.
        QTimer::singleShot(0, controllerDock_, [this] { controllerDock_->show(); });
    }
    // Only the user's choice is remembered: the dock also hides when the
    // window closes, and that changes nothing.
    connect(toggle, &QAction::toggled, this, [this](bool shown) {
        if (closing_) return;
        cRegistry store = ControllerSetting(store_, kControllerShownValue);
        if (const auto error = store.SetValue(shown ? 1 : 0)) Tell(RegistryErrorMessage(*error));
    });
}

}  // namespace kestrova
