#pragma once

#include <exception>
#include <utility>

// The program's one exception display: a modal message box with the
// exception's text. Every dispatch point (socket notification, timer, serial
// hand-over, button) catches what escapes a handler and shows it here, so an
// exception never crosses Qt's event loop and the loop goes on.
void showException(const std::exception &e);
void showUnknownException();

template<typename F>
void runGuarded(F &&f) noexcept
{
    try {
        std::forward<F>(f)();
    } catch (const std::exception &e) {
        showException(e);
    } catch (...) {
        showUnknownException();
    }
}
