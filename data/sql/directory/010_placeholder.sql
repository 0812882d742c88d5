CREATE TABLE IF NOT EXISTS m_firma (nume_firma varchar(200) NOT NULL);
