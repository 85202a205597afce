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

}  // namespace accounts
}  // namespace kx
