-- Every invoice fetched from the back office, as received, once per channel.
-- The (id_fact, api_end_point) index must stay the table's only unique index: the program identifies a row it
-- updates by the first unique index it finds. Hence no separate primary key.
CREATE TABLE log_quorvela (
  id_fact            bigint NOT NULL,
  api_end_point      varchar(3),
  err_la_import      text,
  data_preluare_json timestamp DEFAULT now(),
  fact_c_json        text
);
CREATE UNIQUE INDEX log_quorvela_id_fact_api ON log_quorvela (id_fact, api_end_point);
-- The fetch asks for the highest id already held per channel.
CREATE INDEX log_quorvela_api_id_fact ON log_quorvela (api_end_point, id_fact);
