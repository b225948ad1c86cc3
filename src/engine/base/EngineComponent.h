// Base of the engine's components (converter, player).
#pragma once

namespace tessaro {

class TEngineComponent {
public:
    virtual ~TEngineComponent() = default;
};

} // namespace tessaro
