#pragma once

#include <functional>
#include <stdexcept>

// Errors raised inside a handler end that handler; the application shows their text in its
// standard error box and the message loop goes on.
class EKronvikError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A platform resource (a timer, the notification area) was refused.
class EOutOfResources : public EKronvikError
{
public:
    using EKronvikError::EKronvikError;
};

// The settings store could not be read or written.
class ERegistryException : public EKronvikError
{
public:
    using EKronvikError::EKronvikError;
};

// A text that should have been a number was not one.
class EConvertError : public EKronvikError
{
public:
    using EKronvikError::EKronvikError;
};

// Stored data (a component's form data) ended before what it describes.
class EReadError : public EKronvikError
{
public:
    using EKronvikError::EKronvikError;
};

// Where components hand errors raised inside their handlers (the standard error box in the program).
using ErrorHandler = std::function<void(const std::exception&)>;

// Runs a handler for the event loop: what it raises goes to `handler`, and nothing at all
// escapes, not even the handler's own failure.
inline void RunGuarded(const std::function<void()>& call, const ErrorHandler& handler) noexcept
{
    try {
        call();
    } catch (const std::exception& error) {
        if (handler) {
            try {
                handler(error);
            } catch (...) { // the event loop must go on
            }
        }
    } catch (...) { // not ours to interpret; the event loop must go on
    }
}
