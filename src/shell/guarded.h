#pragma once

#include <new>

#include "platform/classic_errors.h"
#include "shell/removal_form.h"

namespace stravik {

template <typename Steps>
void RemovalForm::guarded(Steps&& steps) {
    try {
        steps();
    } catch (const RaisedError& error) {
        reportError(error.info());
    } catch (const std::bad_alloc&) {
        reportError(classicError(classic::outOfMemory));
    } catch (...) {
        // Nothing else is meant to be thrown; whatever it was must not
        // unwind into the window system that called us.
        reportError(classicError(classic::internalError));
    }
}

}  // namespace stravik
