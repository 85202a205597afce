// The local account operations: creation, queries, removal, and the password generator.
#pragma once

#include "core/value.h"

namespace kx {
struct Platform;
class Random;

namespace accounts {

// A fresh random password of 3 to 20 characters from twenty draws of the generator.
String generatepassword(Platform& platform);

// The same from a given generator, which it reseeds first.
String generate_password(Random& random);

// Makes sure the account exists (with password and flags when it is created) and is in the
// group, creating the group when it is missing: 0, or the stage that failed: 1, 4, 7, 5, 6, 2.
int32_t createntuser(Platform& platform, const String& iHost, const String& iUserName, const String& iPassword,
                     const String& iGroupName);

// 0 the user exists; 1 it does not, or the computer could not be read.
int32_t checkuser(Platform& platform, const String& iHost, const String& iUserName);
// 0 deleted; 1 no such user; 2 failure.
int32_t deletentuser(Platform& platform, const String& iHost, const String& iUserName);
// 0 deleted; 1 no such group; 2 failure.
int32_t deletentgroup(Platform& platform, const String& iHost, const String& iGroupName);
// 0 removed from every group of that name, or no such group; 2 failure.
int32_t deletentuserfromgroup(Platform& platform, const String& iHost, const String& iGroup,
                              const String& iUserName);
// 0 found (its name written to iUserName); 2 none; 1 failure.
int32_t getinternetuser(Platform& platform, const String& iHost, String& iUserName);

}  // namespace accounts
}  // namespace kx
