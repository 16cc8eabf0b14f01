#include "calc/stop_request.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace mirelo::calc {
namespace {

// A signal handler (or Windows's control handler, on a thread of its own) can reach nothing else.
std::atomic<std::atomic<bool>*> target{nullptr};

void Request() {
    if (std::atomic<bool>* stop = target.load()) stop->store(true);
}

#ifdef _WIN32
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing, logoff: the default end
    Request();
    return TRUE;
}
#else
extern "C" void OnSignal(int) { Request(); }
#endif

}  // namespace

void SetOnStopRequest(std::atomic<bool>& stop) {
    target.store(&stop);
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
#endif
}

}  // namespace mirelo::calc
