#pragma once

enum class ApplyMode { Setup, Change };
