#pragma once

#include "errors/app_error.h"

// A command line the program cannot run: the message names the option; the usage line follows
// it on standard error and the exit status is 2.
class UsageError : public AppError
{
public:
    using AppError::AppError;
};
