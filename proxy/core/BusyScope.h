// Marks a handler as running for as long as a scope lasts, however the scope
// ends: the pump and the windows use it so that no handler starts inside
// another (a message box or the plug-in can re-enter the window's loop).
#pragma once

class BusyScope {
  public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& flag_;
};
