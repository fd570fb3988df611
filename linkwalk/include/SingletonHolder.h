// A process-wide singleton without locks: the first caller of Instance() (or Create()) makes the
// object with new; Destroy() (also named FreeInst) deletes it and marks the holder destroyed.
// Each module that instantiates a holder has its own pointer. The members are defined outside the
// class so that an explicit instantiation with dllexport exports them.
#pragma once

template <class T>
class TSingletonHolder {
public:
    static T* pInstance;
    static bool bDestroyed;

    static void Create();
    static T& Instance();
    static void Destroy();
    static void FreeInst();
    TSingletonHolder& operator=(const TSingletonHolder&);
};

template <class T>
T* TSingletonHolder<T>::pInstance = nullptr;
template <class T>
bool TSingletonHolder<T>::bDestroyed = false;

template <class T>
void TSingletonHolder<T>::Create() {
    if (!pInstance)
        pInstance = new T;
}

template <class T>
T& TSingletonHolder<T>::Instance() {
    if (!pInstance)
        Create();
    return *pInstance;
}

template <class T>
void TSingletonHolder<T>::Destroy() {
    if (pInstance) {
        T* p = pInstance;
        pInstance = nullptr;
        delete p;
    }
    bDestroyed = true;
}

template <class T>
void TSingletonHolder<T>::FreeInst() {
    Destroy();
}

template <class T>
TSingletonHolder<T>& TSingletonHolder<T>::operator=(const TSingletonHolder&) {
    return *this;
}
