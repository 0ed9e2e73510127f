// Marks a core handler as running for as long as a scope lasts, however the
// scope ends: the windows use it so that no handler starts inside another.
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
