#pragma once

#include "controllerdriver.h"
#include "updaterroot.h"

#include <gtest/gtest.h>

#include <memory>

// The base of the updater's controller tests: a temporary installation, and a driver
// for the controller made only when a test first asks for it.
class ControllerFixture : public ::testing::Test {
protected:
    UpdaterRoot root;
    // Made on first use, after the test has started the service it is to read.
    ControllerDriver& driver() {
        if (!m_driver)
            m_driver = std::make_unique<ControllerDriver>(root.urls());
        return *m_driver;
    }
    std::unique_ptr<ControllerDriver> m_driver;
};
