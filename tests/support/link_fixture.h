// A link under test on one end of a null-modem pair, the peer on the other.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "link/accessory_link.h"
#include "tests/support/null_modem.h"
#include "tests/support/recording_owner.h"

using LinkPtr = std::unique_ptr<AccessoryLink>;

inline LinkPtr MakeLink(const NullModemPair& pair, HWND owner)
{
    return LinkPtr(CreateAccessoryLink(pair.linkDevice, owner, WM_LINK_NOTIFY));
}
