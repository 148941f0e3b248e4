// The wxWidgets application object and the process's event loop.  The application's main-loop
// operation creates and publishes the event loop and hands the argument vector to the process
// entry; wxWidgets' assertions become the system's own consistency failures.  Built against the
// GUI library (the window executable) it is a GUI application, whose event loop also carries the
// window system's events; against wxBase alone a console one.
#pragma once

#include <wx/app.h>
#include <wx/evtloop.h>

namespace vxs {

// The process's event loop: wxWidgets' own, published while the process entry runs.
class vxEventLoop final : public wxEventLoop {};

#if wxUSE_GUI
class vxApp final : public wxApp {
#else
class vxApp final : public wxAppConsole {
#endif
  public:
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override;
};

}  // namespace vxs
