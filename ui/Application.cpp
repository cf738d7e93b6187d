#include "ui/Application.h"

#include <cassert>

namespace {

Application* theApplication = nullptr;

} // namespace

Application::Application()
{
    assert(!theApplication && "a program has exactly one Application object");
    theApplication = this;
}

Application::~Application()
{
    if (theApplication == this)
        theApplication = nullptr;
}

Application* Application::Instance()
{
    return theApplication;
}
