-- The demo QEM database: the company record, the accountant who signs in, the program's rights and the
-- back office to fetch from. Variable: backoffice_url.
INSERT INTO eu (cod_cci, atribut_fiscal, tip_societate, reg_comert_jud, reg_comert_nr, reg_comert_data, eu, eu_sediu,
                data_incep_activitate, tara, localit, adresa, telefon, email_adr, web_adr, metoda_stoc,
                proc_impozit_profit, tip_contabilitate, data_denominare, norma, strada, nr_strada, cod_postal_adresa,
                eu_cui, eu_cif, eu_reprezentant_legal, cod_caen, capital_social, nr_licenta_turism,
                da_nu_micro_intreprindere, jas_ip, mod_plata_tva)
VALUES ('RO40123456', 'RO', 'SRL', 'BV', '1234', DATE '2019-03-14', 'Demo Turism SRL', 'Brasov',
        DATE '2019-04-01', 'ROU', 'Brasov', 'Str. Republicii 10, Brasov', '0268 000 000', 'office@demo-turism.ro',
        'www.demo-turism.ro', 'CMP', 1, 'Partida dubla', DATE '2005-07-01', 8, 'Str. Republicii', '10', '500030',
        '40123456', 'RO40123456', 'Ion Popescu', '7911', '200 RON', 'LT-0042',
        true, '192.168.10.5:8080', 'La facturare')
ON CONFLICT (cod_cci) DO NOTHING;

-- The password is kept as the sign-in sends it: the lower-case hex SHA-256 of its UTF-8 bytes.
INSERT INTO emitent (emitent, emitent_corect, este_emitent, este_operator, operator_parola, moneda, functie,
                     eu_punct_lucru, lang, rol_win)
VALUES ('contabil', 'Contabil Demo', true, true, encode(sha256(convert_to('Quorvela-2025', 'UTF8')), 'hex'), 'RON',
        'Contabil', 'Sediu', 'ro', 'admin')
ON CONFLICT (emitent) DO NOTHING;

INSERT INTO aplicatie_mob (aplicatie_mob, activ, obs)
VALUES ('wquorvela', true, 'Import facturi clienti din Quorvela')
ON CONFLICT (aplicatie_mob) DO NOTHING;

INSERT INTO aplicatie_mob_emitent (aplicatie_mob, emitent, rol)
VALUES ('wquorvela', 'contabil', 'admin')
ON CONFLICT (aplicatie_mob, emitent) DO NOTHING;

DELETE FROM config_quorvela;
INSERT INTO config_quorvela (user_quorvela, pass_quorvela, base_url_quorvela)
VALUES ('quorvela', 'quorvela-demo', :'backoffice_url');
