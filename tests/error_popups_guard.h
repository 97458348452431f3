// tests/error_popups_guard.h: sets the reader's box switch for one scope and
// puts the old value back however the scope ends, a failed ASSERT included,
// so that no later test inherits it.
#pragma once
#include "image/bmp_reader.h"

class ErrorPopupsGuard {
public:
    explicit ErrorPopupsGuard(unsigned char value) : saved_(error_popups) { error_popups = value; }
    ~ErrorPopupsGuard() { error_popups = saved_; }
    ErrorPopupsGuard(const ErrorPopupsGuard&) = delete;
    ErrorPopupsGuard& operator=(const ErrorPopupsGuard&) = delete;

private:
    unsigned char saved_;
};
