#pragma once

// Accessors in the REST SDK's generated style: getX/setX, xIsSet/unsetX, and
// isX for flags. The presence flag tells an absent member from a default one.
#define AFS_MODEL_FIELD(Type, Name, name)                            \
public:                                                              \
    const Type& get##Name() const { return m_##Name; }               \
    void set##Name(const Type& value) {                              \
        m_##Name = value;                                            \
        m_##Name##IsSet = true;                                      \
    }                                                                \
    void set##Name(Type&& value) {                                   \
        m_##Name = std::move(value);                                 \
        m_##Name##IsSet = true;                                      \
    }                                                                \
    bool name##IsSet() const { return m_##Name##IsSet; }             \
    void unset##Name() { m_##Name##IsSet = false; }                  \
    /* Marks the member set and lets the caller fill it in place. */ \
    Type& edit##Name() {                                             \
        m_##Name##IsSet = true;                                      \
        return m_##Name;                                             \
    }                                                                \
                                                                     \
private:                                                             \
    Type m_##Name{};                                                 \
    bool m_##Name##IsSet = false;

#define AFS_MODEL_FLAG(Name, name)                       \
public:                                                  \
    bool is##Name() const { return m_##Name; }           \
    void set##Name(bool value) {                         \
        m_##Name = value;                                \
        m_##Name##IsSet = true;                          \
    }                                                    \
    bool name##IsSet() const { return m_##Name##IsSet; } \
    void unset##Name() { m_##Name##IsSet = false; }      \
                                                         \
private:                                                 \
    bool m_##Name = false;                               \
    bool m_##Name##IsSet = false;
