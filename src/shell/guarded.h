#pragma once

#include <new>

#include "shell/removal_form.h"

namespace stravik {

template <typename Steps>
void RemovalForm::guarded(Steps&& steps) {
    try {
        steps();
    } catch (const RaisedError& error) {
        reportError(error.info());
    } catch (const std::bad_alloc&) {
        reportError(ErrorInfo{7, L"Out of memory"});
    }
}

}  // namespace stravik
