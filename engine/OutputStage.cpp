#include "engine/OutputStage.h"

#include <cstring>
#include <new>

bool COutputStage::Allocate(std::size_t bytes) {
    Free();
    m_data = new (std::nothrow) char[bytes]();
    if (m_data == nullptr) return false;
    m_bytes = bytes;
    return true;
}

void COutputStage::Free() {
    delete[] m_data;
    m_data = nullptr;
    m_bytes = 0;
}

void COutputStage::Clear() {
    if (m_data != nullptr) std::memset(m_data, 0, m_bytes);
}

void COutputStage::Publish(char* playback) {
    if (m_data == nullptr || playback == nullptr) return;
    std::lock_guard<std::mutex> lock(m_lock);
    std::memcpy(playback, m_data, m_bytes);
}
