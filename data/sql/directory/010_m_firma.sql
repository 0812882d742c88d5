-- The directory: which server and database hold each company's QEM data.
-- The sign-in looks a company up by its exact name, so the name is the key.
CREATE TABLE m_firma (
  nume_firma   varchar(200) NOT NULL PRIMARY KEY,
  ip           text,
  port         integer,
  db_name      text,
  activ        boolean,
  m_site       boolean NOT NULL DEFAULT false,
  pw_hash_type varchar(23)
);
