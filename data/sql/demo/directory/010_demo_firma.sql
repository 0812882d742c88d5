-- The demo company, pointing at the QEM database that the demo (or a test) runs.
-- Variables: qem_host, qem_port, qem_db.
INSERT INTO m_firma (nume_firma, ip, port, db_name, activ, m_site, pw_hash_type)
VALUES ('Demo Turism SRL', :'qem_host', CAST(:'qem_port' AS integer), :'qem_db', true, false, 'HashSHA2')
ON CONFLICT (nume_firma) DO UPDATE
  SET ip = EXCLUDED.ip, port = EXCLUDED.port, db_name = EXCLUDED.db_name, activ = EXCLUDED.activ,
      m_site = EXCLUDED.m_site, pw_hash_type = EXCLUDED.pw_hash_type;
