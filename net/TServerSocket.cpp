#include "net/TServerSocket.h"

TServerSocket::TServerSocket(QObject *parent)
    : QObject(parent)
    , m_server(new TServerWinSocket(this))
{ }

TServerSocket::~TServerSocket()
{
    // Deactivate before the handlers go; a failing close of the listener has
    // nobody left to tell, the descriptor is released either way.
    try {
        SetActive(false);
    } catch (const ESocketError &) { }
}

bool TServerSocket::Active() const
{
    return m_server->isActive();
}

void TServerSocket::SetActive(bool value)
{
    if (value == Active())
        return;
    if (value)
        m_server->listen(m_port);
    else
        m_server->CloseConnection();
}

int32_t TServerSocket::Port() const
{
    return m_port;
}

void TServerSocket::SetPort(int32_t value)
{
    if (value == m_port)
        return;
    if (Active())
        throw ESocketError("Can't change value while socket is active");
    m_port = value;
}

TServerWinSocket *TServerSocket::ServerWinSocket() const
{
    return m_server;
}
